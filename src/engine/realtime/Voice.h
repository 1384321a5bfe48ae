#pragma once
// One player inside the mixer: transport with click-free fades, the direct or resampled path
// from the player's ring, the equaliser, gains, level events and the recent-output window.
// Every function runs on the mixer's thread (the audio callback, or the caller of an offline
// render): no locks, no allocation, no waiting except the offline render's wait for audio.
#include "engine/PlayerChannel.h"
#include "engine/realtime/BassCut.h"
#include "engine/realtime/Equalizer.h"
#include "engine/realtime/KeyLock.h"
#include "engine/realtime/Resampler.h"
#include "engine/realtime/SourceReader.h"

#include <cstdint>
#include <memory>

namespace spinx::engine {

// Where the mixer's events go (the mixer's queue to the UI thread).
struct EventOutbox {
    SpscQueue<Event, kMixerEventSlots>& queue;
    std::atomic<uint64_t>& seq;
    void Push(Event e) {
        StampEvent(e, seq);
        queue.Push(e); // full only when nobody drains; the event is then dropped
    }
};

class Voice {
  public:
    Voice(int player, PlayerChannel& channel, EventOutbox outbox, int outRate);
    ~Voice();

    void Apply(const Command& c);
    // Adds this player's next `frames` (<= kMaxChunk) output frames into `mix`, and into `cue`
    // (when given) the same frames before the volume and balance, at the player's cue level.
    void Render(float* mix, int frames, bool offline, float* cue = nullptr);
    // Playing or fading out; otherwise Render adds nothing and the song stands still.
    bool Audible() const { return audible_; }
    // How many frames the heard output trails this player (the limiter's look-ahead): the
    // published position is the one being heard.
    void SetOutputLead(int frames) { lead_ = frames; }

  private:
    enum class Transport { Stopped, Paused, Playing };

    // Song audio for the next `frames` output frames through the direct or the resampled path
    // (crossfading when the path changes). Returns the index where the song ended, or -1.
    int Produce(float* dst, int frames, bool offline);
    // The same through the key lock (the song's end comes out after the lock's delay).
    int ProduceLocked(float* dst, int frames, bool offline);
    int ProduceSong(float* dst, int frames, bool offline);
    int ProduceDirect(float* dst, int frames, bool offline);
    bool WantsResampling() const;
    double TargetRatio() const;
    double Position() const;
    // The song frame being heard: Position() less what the key lock still holds.
    double HeardPosition() const;
    // Applies the fade envelope; returns the frame index at which a fade-out finished, or -1.
    int ApplyFade(float* buf, int frames);
    // Frames until a fade-out now under way reaches silence, the silent frame included.
    int FadeOutFrames() const;
    void RenderPart(float* mix, int frames, bool offline, float* cue);
    void FadeOutFinished(int64_t resumeFrame);
    void SongEnded();
    void ApplySeek(uint32_t gen, int64_t frame);
    void PublishPosition(int64_t frame);
    void PublishStatus();
    void Meter(const float* buf, int frames);
    void SendLevel(int16_t left, int16_t right);

    const int player_;
    PlayerChannel& ch_;
    EventOutbox outbox_;
    const int outRate_;
    SourceReader reader_;
    Resampler resampler_;
    Equalizer eq_;
    BassCut bassCut_;
    Equalizer::Curve eqTarget_{};
    bool resampling_ = false;
    bool restart_ = false; // the next buffer starts from silence: re-align the resampler
    // Key lock wanted, and its stretcher here or offered by the worker. An offline render
    // waits for the offer (the worker is busy priming it).
    bool KeyLockReady(bool offline);
    void StartKeyLock(bool on); // from the next frame fed

    std::unique_ptr<KeyLock> keyLock_; // from the worker, the first time key lock is wanted
    bool locked_ = false;              // through the key lock since the sound last started
    int64_t lockedEnd_ = -1;           // where the song ended among the frames fed to the key lock

    Transport transport_ = Transport::Stopped; // where the player is going (after any fade)
    bool audible_ = false;                     // producing sound: playing or fading out
    float fade_ = 0.0f;
    int fadeDir_ = 0;
    float fadeStep_;
    bool seekPending_ = false; // fading out before a seek or a load
    uint32_t seekGen_ = 0;
    int64_t seekFrame_ = 0;
    uint32_t posGen_ = 0; // generation whose positions this side may publish
    int lead_ = 0;
    double runStart_ = 0;  // song frame where the sound last started: the heard position's floor
    uint32_t loadGen_ = 0; // the song's load generation, for its events

    float gainLeft_ = 1.0f, gainRight_ = 1.0f; // applied now; the controls hold the targets
    float cueGain_ = 0.0f;                     // likewise for the headphones' cue

    float peakLeft_ = 0.0f, peakRight_ = 0.0f;
    int levelFrames_ = 0;
    const int levelPeriod_;

    float scratch_[kMaxChunk * 2] = {};
    float other_[kMaxChunk * 2] = {};  // the old path's output during a path change
    float feed_[kMaxChunk * 2] = {};   // the key lock's input
    float switch_[kMaxChunk * 2] = {}; // the old path's output while key lock is switched
};

} // namespace spinx::engine
