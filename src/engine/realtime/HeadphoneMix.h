#pragma once
// The headphones' side of the mix. The cued players add their sound before their faders into
// the cue bus; the cue is blended with the master (after the master volume) by the cue/master
// knob, set by the headphone volume, and held back by the master limiter's look-ahead, so
// that the master in the headphones lines up with the master output frame for frame. The
// master itself is never touched. Set* run on the UI thread; the rest on the mixer's thread,
// which never locks, allocates or waits here.
#include "engine/EngineTypes.h"
#include "engine/GainLaw.h"

#include <atomic>
#include <vector>

namespace spinx::engine {

class HeadphoneMix {
  public:
    explicit HeadphoneMix(int maxLookahead);

    // UI thread.
    void SetCueMix(CueMixGain g) {
        cueTarget_.store(g.cue, std::memory_order_relaxed);
        masterTarget_.store(g.master, std::memory_order_relaxed);
    }
    void SetVolume(float g) { volumeTarget_.store(g, std::memory_order_relaxed); }

    // Mixer thread. The cue bus of the next `frames` (<= kMaxChunk) frames, silent until the
    // players add to it.
    float* Begin(int frames);
    // Blends the cue bus with this step's `master` (before the limiter) into the headphone mix.
    void Mix(const float* master, int frames);
    // Makes the delay line hold exactly `frames` frames (the limiter's), adding silence at its
    // front or forgetting its oldest: after a limiter reset, or when the headphones come on.
    void Align(int frames);
    // The limiter fills its look-ahead: the mix goes into the line, nothing comes out.
    void Hold(int frames);
    // The mix goes into the line and the `frames` oldest frames come out (valid until the next
    // call), in step with the limiter's output.
    const float* Take(int frames);

  private:
    std::atomic<float> cueTarget_{1.0f}, masterTarget_{0.0f}, volumeTarget_{1.0f};
    float cueGain_ = 1.0f, masterGain_ = 0.0f; // applied now, the volume included
    float bus_[kMaxChunk * 2] = {};
    float out_[kMaxChunk * 2] = {};
    std::vector<float> line_; // `held_` frames, then room for one step
    int held_ = 0;
};

} // namespace spinx::engine
