#pragma once
// The real-time heart of the engine: applies the UI thread's commands and mixes the four
// players into one stereo buffer. Render runs on the output's thread (the audio callback, the
// null output's clock thread, or the caller of an offline render) and never locks, allocates,
// logs or waits, except that the offline render waits for the decoders.
#include "engine/PlayerChannel.h"
#include "engine/realtime/Voice.h"
#include "engine/record/MixTap.h"

#include <array>
#include <atomic>
#include <memory>

namespace spinx::engine {

class Mixer {
  public:
    Mixer(std::array<PlayerChannel, kPlayers>& channels, int outRate);
    ~Mixer();

    // UI thread. False if the queue is full (the mixer is not running).
    bool Send(const Command& c) { return commands_.Push(c); }
    // UI thread: the mixer's events.
    bool PopEvent(Event& e) { return events_.Pop(e); }
    std::atomic<uint64_t>& EventSeq() { return eventSeq_; }
    void SetMasterGain(float g) { masterGain_.store(g, std::memory_order_relaxed); }

    // Output thread. Mixes `frames` stereo frames into `out`. `offline` lets it wait for the
    // decoders instead of playing silence when a ring runs dry. Two threads calling at once (an
    // output hand-over) is safe: the second one gets silence.
    void Render(float* out, int frames, bool offline);

    int SampleRate() const { return outRate_; }
    // The finished mix as the output gets it, for a recorder.
    MixTap& Tap() { return tap_; }

  private:
    const int outRate_;
    SpscQueue<Command, 1024> commands_;
    SpscQueue<Event, kMixerEventSlots> events_;
    std::atomic<uint64_t> eventSeq_{0};
    std::array<std::unique_ptr<Voice>, kPlayers> voices_;
    std::atomic<float> masterGain_{1.0f};
    float master_ = 1.0f;
    std::atomic<bool> rendering_{false};
    float mix_[kMaxChunk * 2] = {};
    MixTap tap_;
};

} // namespace spinx::engine
