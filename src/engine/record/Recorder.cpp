#include "engine/record/Recorder.h"

#include "support/FileIo.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string_view>
#include <vector>

namespace spinx::engine {

namespace {
constexpr int kChunkFrames = 4096;
// How long the writer sleeps when the ring is empty: a fraction of the ring's 3 s.
constexpr auto kIdle = std::chrono::milliseconds(10);
// How often a WAV's header catches up with its data: what a crash can cost a strict reader.
constexpr int kHeadersPerSecond = 4;

std::string Extension(const std::string& path) {
    const auto dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.') return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// `lead` and libsndfile's reason as one sentence: its texts come with their own "System error :"
// and full stop, which would double ours.
std::string Sentence(const std::string& lead, std::string reason) {
    constexpr std::string_view kSystem = "System error : ";
    if (reason.rfind(kSystem, 0) == 0) reason.erase(0, kSystem.size());
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' '))
        reason.pop_back();
    return lead + ": " + reason + ".";
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
    std::string why;
    UniqueFd fd = CreateRegularFile(path, &why);
    if (!fd) {
        if (reason) *reason = Sentence("The recording cannot be created", why);
        return false;
    }
    // libsndfile closes the descriptor, also when it fails.
    SNDFILE* file = sf_open_fd(fd.release(), SFM_WRITE, &info, SF_TRUE);
    if (!file) {
        if (reason) *reason = Sentence("The recording cannot be created", sf_strerror(nullptr));
        return false;
    }
    // A WAV stays a plain WAV unless it outgrows the 4 GB that format can describe.
    if (ext == "wav") sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    written_.store(0, std::memory_order_relaxed);
    failed_.store(false, std::memory_order_relaxed);
    error_.clear();
    stop_.store(false, std::memory_order_relaxed);
    tap_.Arm();
    thread_ = std::thread([this, file, wav = ext == "wav"] { Run(file, wav); });
    return true;
}

bool Recorder::Stop(std::string* reason) {
    if (!Recording()) return true;
    tap_.Disarm();
    stop_.store(true, std::memory_order_release);
    thread_.join();
    failed_.store(false, std::memory_order_relaxed); // told through `reason` from here on
    std::lock_guard lock(errorMutex_);
    if (!error_.empty() && reason) *reason = error_;
    return error_.empty();
}

void Recorder::Run(void* handle, bool wav) {
    SNDFILE* file = static_cast<SNDFILE*>(handle);
    std::vector<float> chunk(kChunkFrames * 2);
    // A WAV's header says how much data follows only when it is rewritten, which libsndfile
    // does at the close; a crash before it would leave "no data" in a full file.
    const int64_t headerEvery = rate_ / kHeadersPerSecond;
    int64_t headerAt = 0;
    for (;;) {
        // Read the stop flag first: once set, the tap is disarmed and one more drain empties it.
        const bool last = stop_.load(std::memory_order_acquire);
        int got;
        while ((got = tap_.Read(chunk.data(), kChunkFrames)) > 0) {
            // Keep draining so that the mix never waits on a broken file.
            if (failed_.load(std::memory_order_relaxed)) continue;
            if (sf_writef_float(file, chunk.data(), got) != got) {
                {
                    std::lock_guard lock(errorMutex_);
                    error_ = Sentence("The recording could not be written completely",
                                      sf_strerror(file));
                }
                failed_.store(true, std::memory_order_release);
                continue;
            }
            const int64_t written = written_.fetch_add(got, std::memory_order_relaxed) + got;
            if (wav && written - headerAt >= headerEvery) {
                sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
                headerAt = written;
            }
        }
        if (last) break;
        std::this_thread::sleep_for(kIdle);
    }
    sf_close(file); // rewrites a WAV's header for what was written, after a failure too
}

} // namespace spinx::engine
