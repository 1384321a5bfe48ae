#pragma once
// The decoded-audio ring between one player's loader/decoder worker (producer) and the mixer
// (consumer): fixed blocks of stereo float frames, each tagged with the data generation (a load
// or a seek) and the song frame it starts at, so the mixer can drop stale audio after a seek
// without the producer ever touching the consumer's side. Allocated once; never grows.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace spinx::engine {

constexpr int kBlockFrames = 1024;

struct AudioBlock {
    enum Flags : uint32_t { kEnd = 1 }; // the song ends after this block's frames
    uint32_t gen = 0;
    uint32_t flags = 0;
    int32_t rate = 0;
    int32_t frames = 0;
    int64_t startFrame = 0;
    float samples[kBlockFrames * 2];
};

class BlockRing {
  public:
    explicit BlockRing(std::size_t capacityBlocks)
        : blocks_(std::make_unique<AudioBlock[]>(capacityBlocks)), capacity_(capacityBlocks) {}

    std::size_t Capacity() const { return capacity_; }
    std::size_t Fill() const {
        return write_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire);
    }
    uint64_t WriteCount() const { return write_.load(std::memory_order_acquire); }
    uint64_t ReadCount() const { return read_.load(std::memory_order_acquire); }

    // Producer (worker thread): the next free block, or null when full; then CommitWrite.
    AudioBlock* BeginWrite() {
        const uint64_t w = write_.load(std::memory_order_relaxed);
        if (w - read_.load(std::memory_order_acquire) >= capacity_) return nullptr;
        return &blocks_[w % capacity_];
    }
    void CommitWrite() {
        const uint64_t w = write_.load(std::memory_order_relaxed) + 1;
        const bool end = blocks_[(w - 1) % capacity_].flags & AudioBlock::kEnd;
        write_.store(w, std::memory_order_release);
        const std::size_t need = consumerNeed_.load(std::memory_order_seq_cst);
        if (need && (end || Fill() >= need || Fill() == capacity_)) {
            std::lock_guard<std::mutex> lock(waitMutex_);
            waitCv_.notify_all();
        }
    }

    // Consumer (mixer): the oldest block, or null when empty; then Pop.
    const AudioBlock* Front() const {
        const uint64_t r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire)) return nullptr;
        return &blocks_[r % capacity_];
    }
    void Pop() {
        read_.store(read_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Consumer, offline rendering only (never the audio callback): waits up to `timeout` until
    // `blocks` blocks are ready (or the song's last one, or a full ring), so that one wake-up
    // covers several blocks of decoding. For a single block (right after a seek or a load) it
    // spins briefly first: the worker is often only microseconds away, and a sleep costs more.
    template <class StillWorth>
    void WaitForData(std::size_t blocks, std::chrono::milliseconds timeout, StillWorth worth) {
        blocks = std::min(blocks, capacity_);
        const auto ready = [&] { return Fill() >= blocks || LastIsEnd() || !worth(); };
        // Many blocks are milliseconds of decoding away: a spin would only burn the decoder's CPU.
        const auto spinUntil =
            std::chrono::steady_clock::now() + std::chrono::microseconds(blocks > 1 ? 0 : 50);
        while (std::chrono::steady_clock::now() < spinUntil) {
            if (ready()) return;
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::unique_lock<std::mutex> lock(waitMutex_);
        consumerNeed_.store(blocks, std::memory_order_seq_cst);
        while (!ready() && std::chrono::steady_clock::now() < deadline)
            waitCv_.wait_for(lock, std::chrono::milliseconds(1));
        consumerNeed_.store(0, std::memory_order_relaxed);
    }

  private:
    std::unique_ptr<AudioBlock[]> blocks_;
    std::size_t capacity_;
    alignas(64) std::atomic<uint64_t> write_{0};
    alignas(64) std::atomic<uint64_t> read_{0};
    // Consumer side: is the newest block the song's last?
    bool LastIsEnd() const {
        const uint64_t w = write_.load(std::memory_order_acquire);
        return w != read_.load(std::memory_order_acquire) &&
               (blocks_[(w - 1) % capacity_].flags & AudioBlock::kEnd);
    }

    std::atomic<std::size_t> consumerNeed_{0}; // blocks an offline consumer waits for (0: none)
    std::mutex waitMutex_;
    std::condition_variable waitCv_;
};

} // namespace spinx::engine
