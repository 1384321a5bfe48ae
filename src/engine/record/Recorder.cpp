#include "engine/record/Recorder.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <vector>

namespace spinx::engine {

namespace {
constexpr int kChunkFrames = 4096;
// How long the writer sleeps when the ring is empty: a fraction of the ring's 3 s.
constexpr auto kIdle = std::chrono::milliseconds(10);

std::string Extension(const std::string& path) {
    const auto dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.') return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}
} // namespace

bool Recorder::Start(const std::string& path, std::string* reason) {
    if (Recording()) Stop(nullptr);
    const std::string ext = Extension(path);
    SF_INFO info{};
    info.samplerate = rate_;
    info.channels = 2;
    if (ext == "flac") {
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    } else if (ext == "wav") {
        info.format = SF_FORMAT_RF64 | SF_FORMAT_FLOAT;
    } else {
        if (reason) *reason = "A recording is saved as FLAC (.flac) or WAV (.wav).";
        return false;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        if (reason)
            *reason = std::string("The recording cannot be created: ") + sf_strerror(nullptr) + ".";
        return false;
    }
    // A WAV stays a plain WAV unless it outgrows the 4 GB that format can describe.
    if (ext == "wav") sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    written_.store(0, std::memory_order_relaxed);
    error_.clear();
    stop_.store(false, std::memory_order_relaxed);
    tap_.Arm();
    thread_ = std::thread([this, file] { Run(file); });
    return true;
}

bool Recorder::Stop(std::string* reason) {
    if (!Recording()) return true;
    tap_.Disarm();
    stop_.store(true, std::memory_order_release);
    thread_.join();
    std::lock_guard lock(errorMutex_);
    if (!error_.empty() && reason) *reason = error_;
    return error_.empty();
}

void Recorder::Run(void* handle) {
    SNDFILE* file = static_cast<SNDFILE*>(handle);
    std::vector<float> chunk(kChunkFrames * 2);
    bool failed = false;
    for (;;) {
        // Read the stop flag first: once set, the tap is disarmed and one more drain empties it.
        const bool last = stop_.load(std::memory_order_acquire);
        int got;
        while ((got = tap_.Read(chunk.data(), kChunkFrames)) > 0) {
            if (failed) continue; // keep draining so the mix never waits on a broken file
            if (sf_writef_float(file, chunk.data(), got) != got) {
                failed = true;
                std::lock_guard lock(errorMutex_);
                error_ = std::string("The recording could not be written completely: ") +
                         sf_strerror(file) + ".";
            } else {
                written_.fetch_add(got, std::memory_order_relaxed);
            }
        }
        if (last) break;
        std::this_thread::sleep_for(kIdle);
    }
    sf_close(file);
}

} // namespace spinx::engine
