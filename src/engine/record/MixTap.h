#pragma once
// The finished master mix, handed from the output's thread to a recorder's writer thread
// through a preallocated single-producer single-consumer ring. Write runs on the output's thread
// and never locks, allocates or waits (except in an offline render, which has no deadline and
// waits for room so nothing is lost); Read runs on the writer thread; Arm and Disarm on the
// thread that starts and stops the recording.
#include <atomic>
#include <cstdint>
#include <memory>

namespace spinx::engine {

class MixTap {
  public:
    static constexpr int64_t kFrames = int64_t{1} << 17; // about 3 s at 44.1 kHz

    MixTap() : buffer_(std::make_unique<float[]>(kFrames * 2)) {}

    // Output thread. While armed, appends `frames` stereo frames; when they do not fit, drops
    // them and counts them (a live output) or waits for the writer (`offline`).
    void Write(const float* interleaved, int frames, bool offline);

    // Control thread. Starts accepting frames into an empty ring.
    void Arm();
    // Control thread. Stops accepting frames; on return the output thread is out of Write, so
    // everything recorded is in the ring for the writer to drain.
    void Disarm();
    bool Armed() const { return armed_.load(std::memory_order_acquire); }

    // Writer thread. Takes up to `maxFrames` frames; returns how many.
    int Read(float* interleaved, int maxFrames);

    // Frames dropped since the last Arm because the ring was full (any thread).
    uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

  private:
    std::unique_ptr<float[]> buffer_;
    std::atomic<uint64_t> written_{0}; // frames ever written (producer)
    std::atomic<uint64_t> read_{0};    // frames ever read (consumer)
    std::atomic<bool> armed_{false};
    std::atomic<bool> inWrite_{false};
    std::atomic<uint64_t> dropped_{0};
};

} // namespace spinx::engine
