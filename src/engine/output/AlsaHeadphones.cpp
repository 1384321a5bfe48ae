#include "engine/output/AlsaHeadphones.h"

#include "engine/output/AudioOutput.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace spinx::engine {

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kWaitMs = 100; // the longest wait for the device, so that a quit is seen soon
// Taken for dead after this long without taking a write, as the master's device is.
constexpr auto kSilentDeath = std::chrono::milliseconds(2500);
// Taken for no clock once this far ahead of real time.
constexpr double kMaxAheadSeconds = 0.5;

void IgnoreAlsa(const char*, int, const char*, int, const char*, ...) {}
} // namespace

std::unique_ptr<AlsaHeadphones> AlsaHeadphones::Open(const std::string& device, int rate,
                                                     int latencyMs, HeadphoneRing& feed, int wakeFd,
                                                     std::string* reason) {
    snd_lib_error_set_handler(&IgnoreAlsa);
    const std::string called = "the sound device \"" + device + "\"";
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err < 0) {
        *reason = called + " will not open: " + snd_strerror(err);
        return nullptr;
    }
    // Resampled by ALSA when the card has another rate: the mixer has one clock and one rate.
    err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_FLOAT, SND_PCM_ACCESS_RW_INTERLEAVED, 2,
                             static_cast<unsigned>(rate), 1,
                             static_cast<unsigned>(latencyMs) * 1000u);
    snd_pcm_uframes_t buffer = 0, period = 0;
    if (err >= 0) err = snd_pcm_get_params(pcm, &buffer, &period);
    if (err < 0) {
        *reason = called + " refuses stereo float at " + std::to_string(rate) +
                  " Hz: " + snd_strerror(err);
        snd_pcm_close(pcm);
        return nullptr;
    }
    // Writes of a third of the buffer, whatever period the device chose.
    const long write = std::max<long>(static_cast<long>(period), static_cast<long>(buffer) / 3);
    return std::unique_ptr<AlsaHeadphones>(
        new AlsaHeadphones(pcm, feed, rate, static_cast<long>(buffer), write, wakeFd));
}

AlsaHeadphones::AlsaHeadphones(snd_pcm_t* pcm, HeadphoneRing& feed, int rate, long bufferFrames,
                               long period, int wakeFd)
    : HeadphoneOutput(feed, rate, 1000.0 * static_cast<double>(bufferFrames) / rate, wakeFd),
      pcm_(pcm), period_(period) {
    thread_ = std::thread([this] { Run(); });
}

AlsaHeadphones::~AlsaHeadphones() {
    quit_.store(true, std::memory_order_release);
    thread_.join();
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
}

void AlsaHeadphones::Run() {
    RequestRealtime();
    std::vector<float> buffer(static_cast<size_t>(period_) * 2);
    const auto started = Clock::now();
    auto lastWrite = started;
    double taken = 0;
    bool pending = false; // `buffer` holds a write the device has not taken yet
    while (!quit_.load(std::memory_order_acquire)) {
        if (!pending) {
            feed_.Read(buffer.data(), static_cast<int>(period_), rate_);
            pending = true;
        }
        const snd_pcm_sframes_t written =
            snd_pcm_writei(pcm_, buffer.data(), static_cast<snd_pcm_uframes_t>(period_));
        const auto now = Clock::now();
        if (written == -EAGAIN) {
            if (now - lastWrite > kSilentDeath) {
                Lose("the headphones' device stopped taking audio");
                return;
            }
            snd_pcm_wait(pcm_, kWaitMs);
            continue;
        }
        if (written < 0 && snd_pcm_recover(pcm_, static_cast<int>(written), 1) < 0) {
            Lose("the headphones' device failed");
            return;
        }
        // A short write keeps its rest for the next round only in theory: the device takes
        // whole periods, and a dropped remainder is a click, not a stall.
        pending = false;
        lastWrite = now;
        taken += static_cast<double>(period_);
        const double allowed =
            std::chrono::duration<double>(now - started).count() + kMaxAheadSeconds;
        if (taken > allowed * rate_) {
            Lose("the headphones' device does not keep real time");
            return;
        }
    }
}

} // namespace spinx::engine
