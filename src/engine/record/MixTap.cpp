#include "engine/record/MixTap.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace spinx::engine {

namespace {
// A run of frames wraps around the ring's end at most once: copy it in up to two pieces.
void ToRing(float* ring, int64_t at, const float* src, int64_t frames) {
    const int64_t first = std::min(frames, MixTap::kFrames - at);
    std::memcpy(ring + 2 * at, src, sizeof(float) * 2 * first);
    std::memcpy(ring, src + 2 * first, sizeof(float) * 2 * (frames - first));
}
void FromRing(const float* ring, int64_t at, float* dst, int64_t frames) {
    const int64_t first = std::min(frames, MixTap::kFrames - at);
    std::memcpy(dst, ring + 2 * at, sizeof(float) * 2 * first);
    std::memcpy(dst + 2 * first, ring, sizeof(float) * 2 * (frames - first));
}
} // namespace

void MixTap::Write(const float* interleaved, int frames, bool offline) {
    if (!armed_.load(std::memory_order_relaxed) || frames <= 0) return;
    // Announce the write before looking at `armed_` again; Disarm does the mirror image, so one
    // of the two always sees the other (both sequentially consistent).
    inWrite_.store(true, std::memory_order_seq_cst);
    if (armed_.load(std::memory_order_seq_cst)) {
        const uint64_t w = written_.load(std::memory_order_relaxed);
        const auto room = [&] {
            return kFrames - static_cast<int64_t>(w - read_.load(std::memory_order_acquire));
        };
        while (offline && room() < frames && armed_.load(std::memory_order_relaxed))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (frames > kFrames || room() < frames) {
            dropped_.fetch_add(static_cast<uint64_t>(frames), std::memory_order_relaxed);
        } else {
            ToRing(buffer_.get(), static_cast<int64_t>(w % kFrames), interleaved, frames);
            written_.store(w + static_cast<uint64_t>(frames), std::memory_order_release);
        }
    }
    inWrite_.store(false, std::memory_order_release);
}

void MixTap::Arm() {
    // Nobody writes while disarmed and nobody reads before Arm returns: empty the ring.
    read_.store(written_.load(std::memory_order_acquire), std::memory_order_release);
    dropped_.store(0, std::memory_order_relaxed);
    armed_.store(true, std::memory_order_seq_cst);
}

void MixTap::Disarm() {
    armed_.store(false, std::memory_order_seq_cst);
    while (inWrite_.load(std::memory_order_seq_cst))
        std::this_thread::yield(); // one buffer's copy at most
}

int MixTap::Read(float* interleaved, int maxFrames) {
    const uint64_t r = read_.load(std::memory_order_relaxed);
    const int64_t available = static_cast<int64_t>(written_.load(std::memory_order_acquire) - r);
    const int64_t n = std::min<int64_t>(available, maxFrames);
    if (n <= 0) return 0;
    FromRing(buffer_.get(), static_cast<int64_t>(r % kFrames), interleaved, n);
    read_.store(r + static_cast<uint64_t>(n), std::memory_order_release);
    return static_cast<int>(n);
}

} // namespace spinx::engine
