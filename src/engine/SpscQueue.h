#pragma once
// A bounded single-producer single-consumer queue. Push and Pop never lock or allocate, so the
// audio callback may be either end. Each queue has exactly one producing and one consuming thread
// at a time; a hand-over between threads must be ordered by the caller (see Mixer::Render).
#include <array>
#include <atomic>
#include <cstddef>

namespace spinx::engine {

template <class T, std::size_t N> class SpscQueue {
    static_assert(N >= 2 && (N & (N - 1)) == 0, "capacity must be a power of two");

  public:
    // Producer thread. False when full (the item is not queued).
    bool Push(const T& item) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == N) return false;
        slots_[tail & (N - 1)] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }
    // Consumer thread. False when empty.
    bool Pop(T& item) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return false;
        item = slots_[head & (N - 1)];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

  private:
    std::array<T, N> slots_{};
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

} // namespace spinx::engine
