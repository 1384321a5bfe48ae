#pragma once
// Records the master mix to a FLAC or WAV file. Start and Stop run on the UI thread; a writer
// thread of its own drains the mix tap into the file, so the output's thread only copies into
// the tap's ring and never waits for the disk. A WAV's header is rewritten as it grows, so a
// file cut short by a crash still says how long it is.
#include "engine/record/MixTap.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace spinx::engine {

class Recorder {
  public:
    Recorder(MixTap& tap, int rate) : tap_(tap), rate_(rate) {}
    ~Recorder() { Stop(nullptr); }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Creates `path` (".flac": 24-bit FLAC; ".wav": 32-bit float WAV, or RF64 past 4 GB) and
    // starts recording; an existing regular file is replaced, anything else (a named pipe, a
    // device, a folder) refused without blocking. On failure returns false with `reason` a
    // sentence for the user.
    bool Start(const std::string& path, std::string* reason);
    // Stops and finalises the file so it always opens. False, with `reason`, when the file
    // could not be written completely (a full disk); what was written stays playable.
    bool Stop(std::string* reason);

    bool Recording() const { return thread_.joinable(); }
    // True once a write failed (any thread): the file takes no more, and the recording should
    // be stopped to learn why. The writer goes on draining the tap until then.
    bool Failed() const { return failed_.load(std::memory_order_acquire); }
    // Frames in the file so far (any thread), and frames lost to a full ring.
    int64_t FramesWritten() const { return written_.load(std::memory_order_relaxed); }
    uint64_t DroppedFrames() const { return tap_.Dropped(); }

  private:
    void Run(void* file, bool wav);

    MixTap& tap_;
    const int rate_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> written_{0};
    std::atomic<bool> failed_{false};
    std::mutex errorMutex_; // the writer's error text, read after join
    std::string error_;
};

} // namespace spinx::engine
