#pragma once
// The real-time heart of the engine: applies the UI thread's commands and mixes the four
// players into one stereo buffer, through the master volume and the limiter. Render runs on the
// output's thread (the audio callback, the null output's clock thread, or the caller of an
// offline render) and never locks, allocates, logs or waits, except that the offline render
// waits for the decoders.
//
// The limiter's look-ahead (2 ms) is a delay, and the players run that far ahead of the output
// while anything plays. Once every player has been silent for the whole look-ahead, the delay
// line holds nothing but silence and is dropped; the next sound starts at once, then plays
// exactly as the players made it for as long as it stays below the ceiling.
#include "engine/HeadphoneRing.h"
#include "engine/PlayerChannel.h"
#include "engine/realtime/HeadphoneMix.h"
#include "engine/realtime/Limiter.h"
#include "engine/realtime/Voice.h"
#include "engine/record/MixTap.h"

#include <array>
#include <atomic>
#include <memory>

namespace spinx::engine {

// Where the headphone mix goes besides an offline render's own buffer.
enum class HeadphoneRoute : uint8_t {
    None,  // nowhere: the cue bus is not even mixed
    Ring,  // into HeadphoneFeed(), which a second output drains
    Split, // onto the master output: the master in mono on the left, the headphones on the right
};

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
    // UI thread, for measurements: without the limiter the mix goes out undelayed and unbounded.
    void SetLimiterEnabled(bool on) { limiterOn_.store(on, std::memory_order_relaxed); }
    // UI thread: the headphones.
    void SetHeadphoneRoute(HeadphoneRoute r) { route_.store(r, std::memory_order_relaxed); }
    HeadphoneRoute Route() const { return route_.load(std::memory_order_relaxed); }
    void SetCueMix(CueMixGain g) { headphones_.SetCueMix(g); }
    void SetHeadphoneGain(float g) { headphones_.SetVolume(g); }
    // The headphone mix for a second output, while routed there.
    HeadphoneRing& HeadphoneFeed() { return feed_; }

    // Output thread. Mixes `frames` stereo frames into `out`. `offline` lets it wait for the
    // decoders instead of playing silence when a ring runs dry. Two threads calling at once (an
    // output hand-over) is safe: the second one gets silence. `headphones`, when given, gets
    // the headphone mix of the same frames, whatever the route.
    void Render(float* out, int frames, bool offline, float* headphones = nullptr);

    int SampleRate() const { return outRate_; }
    // Any thread: how many frames the heard output trails the players.
    int OutputLead() const {
        return limiterOn_.load(std::memory_order_relaxed) ? limiter_.Lookahead() : 0;
    }
    // The finished mix as the output gets it, for a recorder.
    MixTap& Tap() { return tap_; }

  private:
    // Mixes the players' next `frames` (<= kMaxChunk) frames through the master volume into mix_.
    void MixChunk(int frames, bool offline, bool cue);
    // The headphone mix of the step just put out: where the route sends it.
    void SendHeadphones(float* out, int frames, HeadphoneRoute route, float* headphones);

    const int outRate_;
    SpscQueue<Command, 1024> commands_;
    SpscQueue<Event, kMixerEventSlots> events_;
    std::atomic<uint64_t> eventSeq_{0};
    std::array<std::unique_ptr<Voice>, kPlayers> voices_;
    std::atomic<float> masterGain_{1.0f};
    float master_ = 1.0f;
    std::atomic<bool> rendering_{false};
    std::atomic<bool> limiterOn_{true};
    Limiter limiter_;
    int64_t silentFrames_ = 0; // frames mixed since a player last made sound
    float mix_[kMaxChunk * 2] = {};
    MixTap tap_;
    std::atomic<HeadphoneRoute> route_{HeadphoneRoute::None};
    HeadphoneMix headphones_;
    HeadphoneRing feed_;
};

} // namespace spinx::engine
