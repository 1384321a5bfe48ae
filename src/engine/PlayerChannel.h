#pragma once
// Everything one player's threads share: the UI thread's levels, the published state, the
// decoded-audio ring, the worker's wake-up signal and progress, the worker's event queue and the
// recent-output window. Created once per player at start; lives as long as the engine.
#include "engine/BlockRing.h"
#include "engine/EngineTypes.h"
#include "engine/SpscQueue.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace spinx::engine {

// About 3 s of 44.1 kHz audio; the worker keeps about 2 s of it filled (kRingTarget) so that
// the data of a new seek always finds room behind stale blocks not yet dropped by the mixer.
constexpr std::size_t kRingBlocks = 128;
constexpr std::size_t kRingTarget = 88;
constexpr std::size_t kRingRefillBelow = 72;

// Wakes the player's worker. The UI thread calls Wake for requests; the mixer calls it only when
// the ring falls below kRingRefillBelow and the worker has not been asked already, so the audio
// thread issues at most one (non-blocking) futex wake per refill.
struct WorkerSignal {
    std::atomic<uint32_t> wake{0};
    std::atomic<bool> refillAsked{false};
    void Wake() {
        wake.fetch_add(1, std::memory_order_release);
        wake.notify_one();
    }
    void AskRefill() {
        if (!refillAsked.exchange(true, std::memory_order_acq_rel)) Wake();
    }
};

class FixedRateResampler;
class KeyLock;

// Hands constant-ratio resamplers between the mixer, which plays through one while a player's
// speed holds still (variable-rate resampling costs several times more), and the worker, which
// makes and deletes them (libsoxr allocates). The mixer asks for a ratio and wakes the worker;
// the worker offers one; the mixer takes it and gives back the one it had.
struct FixedRateSlot {
    std::atomic<double> wanted{0.0};
    std::atomic<FixedRateResampler*> offered{nullptr};
    std::atomic<FixedRateResampler*> retired{nullptr};
};

// The key lock's stretcher: made and primed by the worker the first time the player wants one
// (Rubber Band sizes its buffers as it meets new ratios), then the mixer's for good.
struct KeyLockSlot {
    std::atomic<int> rate{0}; // the mixer's output rate, which the stretcher runs at
    std::atomic<KeyLock*> made{nullptr};
};

// How far the worker has got, for the offline renderer's decision whether waiting can help.
struct WorkerProgress {
    std::atomic<uint32_t> producingGen{0}; // generation of the request the worker is serving
    std::atomic<uint32_t> deadGen{0};      // generation for which no audio will ever come
};

// The last frames a player produced (after its EQ and gains), for a live scope. Written by the
// mixer, read by the UI thread without locks: the reader checks the write counter afterwards
// and retries when the writer has lapped what it copied.
class RecentOutput {
  public:
    static constexpr int kFrames = 8192;
    // Mixer thread.
    void Write(const float* interleaved, int frames) {
        const uint64_t w = written_.load(std::memory_order_relaxed);
        // At most two straight runs (before and after the wrap): no index arithmetic per frame.
        for (int done = 0; done < frames;) {
            const int at = static_cast<int>((w + done) % kFrames);
            const int n = std::min(frames - done, kFrames - at);
            std::atomic<uint64_t>* to = buffer_ + at;
            const float* from = interleaved + 2 * done;
            for (int i = 0; i < n; ++i) {
                uint64_t frame;
                std::memcpy(&frame, from + 2 * i, sizeof frame);
                to[i].store(frame, std::memory_order_relaxed);
            }
            done += n;
        }
        written_.store(w + frames, std::memory_order_release);
    }
    // Any thread. Leaves out the newest `skip` frames (those not heard yet).
    int Copy(float* dst, int frames, int skip = 0) const {
        if (frames <= 0) return 0;
        if (frames > kFrames / 2) frames = kFrames / 2;
        for (int attempt = 0; attempt < 4; ++attempt) {
            const uint64_t written = written_.load(std::memory_order_acquire);
            const uint64_t end = written - std::min<uint64_t>(written, static_cast<uint64_t>(skip));
            const int n = static_cast<int>(std::min<uint64_t>(end, static_cast<uint64_t>(frames)));
            const uint64_t start = end - n;
            for (int i = 0; i < n; ++i) {
                const uint64_t frame =
                    buffer_[(start + i) % kFrames].load(std::memory_order_relaxed);
                std::memcpy(dst + 2 * i, &frame, sizeof frame);
            }
            std::atomic_thread_fence(std::memory_order_acquire);
            // The writer may have overwritten the oldest copied frames while we read.
            if (written_.load(std::memory_order_relaxed) - start <= static_cast<uint64_t>(kFrames))
                return n;
        }
        return 0;
    }

  private:
    // Stereo frames as relaxed atomic words (a frame's two floats in one store): plain floats
    // would be a data race for the reader (and for TSan).
    std::atomic<uint64_t> buffer_[kFrames] = {};
    std::atomic<uint64_t> written_{0};
};

constexpr std::size_t kWorkerEventSlots = 64;
constexpr std::size_t kMixerEventSlots = 1024;

struct PlayerChannel {
    PlayerControls controls;
    PlayerState state;
    BlockRing ring{kRingBlocks};
    WorkerSignal signal;
    WorkerProgress progress;
    SpscQueue<Event, kWorkerEventSlots> workerEvents;
    RecentOutput recent;
    FixedRateSlot fixedRate;
    KeyLockSlot keyLock;
};

// Gives events from any producer one order.
inline void StampEvent(Event& e, std::atomic<uint64_t>& seq) {
    e.seq = seq.fetch_add(1, std::memory_order_relaxed);
}

} // namespace spinx::engine
