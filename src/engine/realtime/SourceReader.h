#pragma once
// The mixer's view of one player's decoded-audio ring: song frames in order from a given
// generation, with a short history of what it delivered so a caller can go back a little (the
// resampler's pre-roll and its hand-over to and from the direct path).
// Runs on the mixer's thread (the audio callback, or the caller of an offline render); never
// locks or allocates, and waits only when `wait` is set, which the offline render alone does.
#include "engine/PlayerChannel.h"

#include <cstdint>

namespace spinx::engine {

class SourceReader {
  public:
    // Enough to go back over what the key lock holds at double speed (about 4,500 frames out).
    static constexpr int kHistoryFrames = 16384;

    explicit SourceReader(PlayerChannel& channel) : ch_(channel) {}

    // Accepts only generation `gen` from now on and delivers from song frame `frame`.
    void Reset(uint32_t gen, int64_t frame);
    // Copies up to `frames` stereo frames; fewer when the song ends (Ended()) or the worker is
    // behind (an underrun; impossible when `wait` is set unless the worker is stuck).
    int Read(float* dst, int frames, bool wait);
    // Has audio to deliver, or none is coming (the song ended, the worker gave up on this
    // generation or has moved on to a newer one).
    bool Ready();
    // Drops blocks of older generations; for players that are not playing.
    void DropStale();

    int64_t NextFrame() const { return replay_ < histEnd_ ? replay_ : ringNext_; }
    bool Ended() const { return ended_ && NextFrame() >= endFrame_; }
    int64_t EndFrame() const { return endFrame_; }
    // Frames of history available just before `frame`.
    int64_t HistoryBefore(int64_t frame) const;
    // Delivers again from `frame`, which must lie within the history (or be NextFrame()).
    bool Rewind(int64_t frame);

  private:
    // Frames of the current block at and after `ringNext_`, popping used and stale blocks;
    // null when nothing is available. Records pre-roll frames into the history on the way.
    const AudioBlock* Current(bool wait);
    void PopBlock();
    void Remember(const float* src, int64_t firstFrame, int frames);
    bool WorthWaiting() const;

    PlayerChannel& ch_;
    uint32_t gen_ = 0;
    int64_t ringNext_ = 0; // song frame of the next frame taken from the ring
    int64_t replay_ = 0;   // next frame delivered from the history while < histEnd_
    bool ended_ = false;
    int64_t endFrame_ = INT64_MAX;
    std::size_t blocksSinceReset_ = 0;
    float history_[kHistoryFrames * 2] = {};
    int64_t histStart_ = 0, histEnd_ = 0; // song frames held: [histStart_, histEnd_)
};

} // namespace spinx::engine
