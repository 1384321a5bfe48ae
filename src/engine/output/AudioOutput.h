#pragma once
// Where the mixer's sound goes. An output calls Mixer::Render from its own thread at its own
// pace; the engine owns exactly one output at a time.
#include "engine/Aspinx.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

namespace spinx::engine {

class Mixer;

// Per-buffer timing, recorded by the output's thread without locks, read by any thread.
class CallbackStats {
  public:
    static constexpr int kMaxUs = 20000;
    // Output thread.
    void Record(double micros, bool late) {
        const int bucket = micros >= kMaxUs ? kMaxUs : micros <= 0 ? 0 : static_cast<int>(micros);
        histogram_[bucket].fetch_add(1, std::memory_order_relaxed);
        buffers_.fetch_add(1, std::memory_order_relaxed);
        if (late) late_.fetch_add(1, std::memory_order_relaxed);
    }
    // Null output: how late the clock thread woke for a buffer (the scheduler's share of it).
    void RecordStartDelay(double micros) {
        const uint64_t us = micros > 0 ? static_cast<uint64_t>(micros) : 0;
        uint64_t seen = maxStartDelay_.load(std::memory_order_relaxed);
        while (us > seen &&
               !maxStartDelay_.compare_exchange_weak(seen, us, std::memory_order_relaxed)) {
        }
    }
    // Any thread.
    OutputStats Snapshot() const;
    void Reset();

  private:
    std::array<std::atomic<uint32_t>, kMaxUs + 1> histogram_{};
    std::atomic<uint64_t> buffers_{0};
    std::atomic<uint64_t> late_{0};
    std::atomic<uint64_t> maxStartDelay_{0};
};

// Asks real-time scheduling for the calling thread (an output's audio thread), so that a busy
// desktop cannot delay a buffer. Returns the priority granted, or minus the errno of the refusal.
int RequestRealtime();
constexpr int kRealtimeUnknown = 0; // not asked yet
// One stderr line saying what `thread` was granted and the output latency in effect.
void ReportRealtime(const char* thread, int granted, double latencyMs);

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    virtual OutputKind Kind() const = 0;
    virtual int SampleRate() const = 0;
    virtual OutputStats Snapshot() const { return stats_.Snapshot(); }
    virtual void ResetStats() { stats_.Reset(); }
    // UI thread, after a command was sent to the mixer: an output resting while nothing plays
    // takes it up now.
    virtual void Wake() {}
    // UI thread, once, for a device: starts calling `mixer`. `playing` (called on the audio
    // thread; it must only read atomics) says whether a deck plays, which keeps it from resting.
    virtual void Start(Mixer& /*mixer*/, std::function<bool()> /*playing*/) {}
    // Any thread, once the output has fallen back: whether opening the device again may help
    // (a device that keeps no real time never will).
    virtual bool WorthRetrying() const { return true; }

  protected:
    CallbackStats stats_;
};

} // namespace spinx::engine
