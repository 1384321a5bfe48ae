#pragma once
// The headphone mix on its way from the mixer (producer: the master output's thread) to the
// headphone output (consumer: that device's own thread). Two devices keep two clocks, so the
// ring also absorbs their drift: the producer drops what does not fit, and the consumer pads
// with silence when it finds too little and skips ahead when a lasting surplus builds up, so
// that the headphones stay a few milliseconds behind the mix instead of drifting away from it.
// Allocated once; neither side ever locks, allocates or waits. One consumer at a time: a new
// headphone output takes over only after the last one has stopped reading.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

namespace spinx::engine {

class HeadphoneRing {
  public:
    static constexpr int64_t kFrames = 8192; // about 190 ms at 44.1 kHz: far past any cushion

    HeadphoneRing() : buffer_(std::make_unique<float[]>(kFrames * 2)) {}

    // Producer. Appends `frames` stereo frames, or drops them (counted) when the consumer has
    // fallen that far behind or is gone.
    void Write(const float* interleaved, int frames) {
        const uint64_t w = written_.load(std::memory_order_relaxed);
        const uint64_t r = read_.load(std::memory_order_acquire);
        if (static_cast<int64_t>(w - r) + frames > kFrames) {
            dropped_.fetch_add(static_cast<uint64_t>(frames), std::memory_order_relaxed);
            return;
        }
        CopyIn(interleaved, frames, w);
        if (frames > burst_.load(std::memory_order_relaxed))
            burst_.store(frames, std::memory_order_relaxed);
        written_.store(w + static_cast<uint64_t>(frames), std::memory_order_release);
    }

    // Consumer. A new reader starts from what is written next, and measures afresh; `cushion`
    // is the fill it keeps at least (the producer's and its own burst sizes' worth).
    void Attach(int cushion) {
        read_.store(written_.load(std::memory_order_acquire), std::memory_order_release);
        cushion_ = cushion;
        windowMin_ = INT64_MAX;
        windowFrames_ = 0;
        averageWait_.store(0, std::memory_order_relaxed);
        padded_.store(0, std::memory_order_relaxed);
        skipped_.store(0, std::memory_order_relaxed);
        dropped_.store(0, std::memory_order_relaxed);
        started_ = false;
        owed_ = 0;
    }

    // Consumer. Fills `interleaved` with `frames` frames at `rate`: the oldest in the ring, then
    // silence for what is missing.
    void Read(float* interleaved, int frames, int rate) {
        uint64_t r = read_.load(std::memory_order_relaxed);
        int64_t fill = static_cast<int64_t>(written_.load(std::memory_order_acquire) - r);
        if (!started_) {
            // Wait for the first sound, then start on a cushion and the larger of the two
            // devices' bursts: what piled up before the device took its first read (a sink slow
            // to start) would only be latency.
            const int64_t start =
                cushion_ + std::max(frames, burst_.load(std::memory_order_relaxed));
            if (fill < start) {
                Silence(interleaved, frames);
                return;
            }
            Skip(fill - start, /*counted=*/false);
            r = read_.load(std::memory_order_relaxed);
            fill = start;
            started_ = true;
        }
        // Silence owed from running dry: it holds the reader back by what the cushion lacked.
        const int owed = static_cast<int>(std::min<int64_t>(owed_, frames));
        Silence(interleaved, owed);
        owed_ -= owed;
        const int want = frames - owed;
        const int64_t take = std::min<int64_t>(fill, want);
        CopyOut(interleaved + 2 * owed, static_cast<int>(take), r);
        read_.store(r + static_cast<uint64_t>(take), std::memory_order_release);
        fill -= take;
        if (take < want) {
            Silence(interleaved + 2 * (owed + take), static_cast<int>(want - take));
            padded_.fetch_add(static_cast<uint64_t>(want - take), std::memory_order_relaxed);
            if (take == 0) {
                started_ = false; // nothing comes (the master rests): start afresh when it does
            } else {
                // Dry between the master's bursts: the cushion was too thin for them. A
                // cushion's more silence, once, rather than a click every read.
                owed_ += cushion_;
                padded_.fetch_add(static_cast<uint64_t>(cushion_), std::memory_order_relaxed);
            }
        }
        // How long this read's frames waited on average (those read last waited longest), as a
        // running mean over about a second of reads.
        const double wait = static_cast<double>(fill) + static_cast<double>(take) / 2;
        const double weight = std::min(1.0, static_cast<double>(frames) / rate);
        averageWait_.store(averageWait_.load(std::memory_order_relaxed) * (1 - weight) +
                               wait * weight,
                           std::memory_order_relaxed);
        // Once a second: a surplus that never went away (the master's clock runs faster than
        // the headphones') is skipped, down to the cushion.
        windowMin_ = std::min(windowMin_, fill + owed_);
        windowFrames_ += frames;
        if (windowFrames_ >= rate) {
            if (windowMin_ > 2 * cushion_)
                Skip(std::min(windowMin_ - cushion_, fill), /*counted=*/true);
            windowMin_ = INT64_MAX;
            windowFrames_ = 0;
        }
    }

    // Any thread: frames the producer dropped, the consumer padded with silence or skipped since
    // the consumer attached, and how long a frame waited in the ring on average.
    uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }
    uint64_t Padded() const { return padded_.load(std::memory_order_relaxed); }
    uint64_t Skipped() const { return skipped_.load(std::memory_order_relaxed); }
    double AverageWaitFrames() const { return averageWait_.load(std::memory_order_relaxed); }

  private:
    static void Silence(float* interleaved, int frames) {
        std::memset(interleaved, 0, sizeof(float) * 2 * static_cast<size_t>(frames));
    }
    void Skip(int64_t frames, bool counted) {
        read_.store(read_.load(std::memory_order_relaxed) + static_cast<uint64_t>(frames),
                    std::memory_order_release);
        if (counted) skipped_.fetch_add(static_cast<uint64_t>(frames), std::memory_order_relaxed);
    }
    // A run of frames wraps around the ring's end at most once: two straight copies.
    void CopyIn(const float* src, int frames, uint64_t at) {
        const int64_t start = static_cast<int64_t>(at % kFrames);
        const int64_t first = std::min<int64_t>(frames, kFrames - start);
        std::memcpy(buffer_.get() + 2 * start, src, sizeof(float) * 2 * first);
        std::memcpy(buffer_.get(), src + 2 * first, sizeof(float) * 2 * (frames - first));
    }
    void CopyOut(float* dst, int frames, uint64_t at) const {
        const int64_t start = static_cast<int64_t>(at % kFrames);
        const int64_t first = std::min<int64_t>(frames, kFrames - start);
        std::memcpy(dst, buffer_.get() + 2 * start, sizeof(float) * 2 * first);
        std::memcpy(dst + 2 * first, buffer_.get(), sizeof(float) * 2 * (frames - first));
    }

    std::unique_ptr<float[]> buffer_;
    alignas(64) std::atomic<uint64_t> written_{0};
    alignas(64) std::atomic<uint64_t> read_{0};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<int> burst_{0}; // the largest write so far
    std::atomic<uint64_t> padded_{0};
    std::atomic<uint64_t> skipped_{0};
    std::atomic<double> averageWait_{0};
    // The consumer's own.
    int cushion_ = 0;
    bool started_ = false;
    int64_t owed_ = 0; // frames of silence to play before the ring's next
    int64_t windowMin_ = INT64_MAX;
    int64_t windowFrames_ = 0;
};

} // namespace spinx::engine
