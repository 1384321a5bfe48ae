#include "engine/output/OutputKeeper.h"

#include "engine/output/NullOutput.h"
#include "engine/realtime/Mixer.h"

#include <chrono>
#include <cstdio>

namespace spinx::engine {

namespace {
using namespace std::chrono_literals;
constexpr auto kLook = 100ms;  // how often the keeper looks at the device it has
constexpr auto kRetry = 500ms; // how often a missing device is tried again
} // namespace

OutputKeeper::OutputKeeper(Mixer& mixer, int framesPerBuffer, std::function<bool()> playing,
                           Opener open, std::string what, std::unique_ptr<AudioOutput> opened)
    : mixer_(mixer), rate_(mixer.SampleRate()), frames_(framesPerBuffer),
      playing_(std::move(playing)), open_(std::move(open)), what_(std::move(what)),
      shared_(std::make_shared<Shared>()) {
    const bool tryNow = !opened;
    if (opened) {
        opened->Start(mixer_, playing_);
        current_ = std::move(opened);
        device_ = true;
        tried_ = true;
        kind_.store(current_->Kind(), std::memory_order_release);
    } else {
        // Until the device opens, the mixer keeps real-time pace on a null output.
        current_ = std::make_unique<NullOutput>(mixer_, rate_, frames_);
    }
    thread_ = std::thread([this, shared = shared_, tryNow] { Run(shared, tryNow); });
}

OutputKeeper::~OutputKeeper() {
    {
        std::unique_lock lock(shared_->mutex);
        shared_->quit = true;
        shared_->changed.notify_all();
        shared_->changed.wait(lock, [&] { return shared_->done || shared_->opening; });
    }
    // A thread still opening a device is left to finish on its own: it touches nothing here.
    if (shared_->done)
        thread_.join();
    else
        thread_.detach();
    current_.reset(); // stops its thread before the mixer it calls goes away
}

OutputStats OutputKeeper::Snapshot() const {
    std::lock_guard lock(shared_->mutex);
    OutputStats s = current_ ? current_->Snapshot() : OutputStats{};
    s.buffers += retired_.buffers;
    s.lateBuffers += retired_.lateBuffers;
    return s;
}

void OutputKeeper::ResetStats() {
    std::lock_guard lock(shared_->mutex);
    retired_ = {};
    if (current_) current_->ResetStats();
}

void OutputKeeper::Wake() {
    std::lock_guard lock(shared_->mutex);
    if (current_)
        current_->Wake();
    else
        wakeMissed_ = true;
}

bool OutputKeeper::WaitFirst(int timeoutMs) const {
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return tried_ || shared_->quit; });
    return tried_ && Kind() == OutputKind::Default;
}

bool OutputKeeper::NeedsDevice() const {
    if (!device_) return true;
    return current_->Kind() != OutputKind::Default && current_->WorthRetrying();
}

void OutputKeeper::Replace(std::unique_ptr<AudioOutput> next) {
    std::unique_ptr<AudioOutput> old;
    {
        std::lock_guard lock(shared_->mutex);
        old = std::move(current_);
        const OutputStats s = old->Snapshot();
        retired_.buffers += s.buffers;
        retired_.lateBuffers += s.lateBuffers;
    }
    old.reset(); // its threads have stopped: nothing mixes until `next` starts
    next->Start(mixer_, playing_);
    std::lock_guard lock(shared_->mutex);
    current_ = std::move(next);
    device_ = true;
    if (wakeMissed_) current_->Wake();
    wakeMissed_ = false;
}

void OutputKeeper::Run(std::shared_ptr<Shared> shared, bool tryNow) {
    auto nextTry = std::chrono::steady_clock::now() + (tryNow ? 0s : kRetry);
    std::string told; // the last reason printed, so a lasting one is printed once
    bool lost = false;
    std::unique_lock lock(shared->mutex);
    while (!shared->quit) {
        const bool needed = NeedsDevice();
        lost = lost || (device_ && needed);
        if (needed && std::chrono::steady_clock::now() >= nextTry) {
            shared->opening = true;
            const Opener open = open_;
            lock.unlock();
            std::string reason;
            std::unique_ptr<AudioOutput> device = open(&reason);
            lock.lock();
            shared->opening = false;
            if (shared->quit) break; // the keeper may be gone: `device` goes with this thread
            lock.unlock();
            if (device && device->SampleRate() != rate_) {
                reason = what_ + " does not play at " + std::to_string(rate_) + " Hz";
                device.reset();
            }
            if (device) {
                Replace(std::move(device));
                if (lost) std::fprintf(stderr, "spinx: sound is back on %s\n", what_.c_str());
                lost = false;
                told.clear();
            } else if (reason != told) {
                std::fprintf(stderr,
                             "spinx: no sound output (%s); continuing without sound, "
                             "trying again\n",
                             reason.c_str());
                told = reason;
            }
            lock.lock();
            tried_ = true;
            nextTry = std::chrono::steady_clock::now() + kRetry;
        }
        const bool playing = device_ && current_->Kind() == OutputKind::Default;
        kind_.store(playing || !tried_ ? OutputKind::Default : OutputKind::Null,
                    std::memory_order_release);
        shared->changed.notify_all();
        shared->changed.wait_for(lock, kLook, [&] { return shared->quit; });
    }
    shared->done = true;
    shared->changed.notify_all();
}

} // namespace spinx::engine
