#pragma once
// The ten-band equaliser of one player: ten peaking biquads whose gains EqSolver chooses so that
// the measured response follows the curve (filters set to the slider gains would stack). Filter
// gains glide to their targets (one-pole smoothing); coefficients are designed every 128 frames
// and interpolated sample by sample in between, in direct form I, whose state is the signal
// itself, so moving coefficients under a loud tone neither zippers nor clicks. A band at 0 dB
// whose filter has rung out is skipped; with every band there the buffer is left untouched
// (bit-transparent). Runs on the mixer's thread.
#include "engine/realtime/EqSolver.h"

#include <array>

namespace spinx::engine {

class Equalizer {
  public:
    static constexpr int kBands = EqSolver::kBands;
    static constexpr EqSolver::Gains kCentresHz = EqSolver::kCentresHz;
    using Curve = std::array<float, kBands>; // the gain wanted at each centre, dB

    explicit Equalizer(int rate);

    // Filters interleaved stereo in place, gliding towards `curve`.
    void Process(float* buf, int frames, const Curve& curve);
    // The player restarts from silence: forget the filters' memory and take `curve` at once
    // (nothing sounds, so there is nothing to glide over).
    void Restart(const Curve& curve);

  private:
    struct Band {
        float db = 0;                 // filter gain applied now
        float goal = 0;               // filter gain the curve asks for
        bool active = false;          // filtering (not at 0 dB, or still ringing)
        float c[5] = {1, 0, 0, 0, 0}; // b0 b1 b2 a1 a2
        float x1[2] = {}, x2[2] = {}, y1[2] = {}, y2[2] = {}; // direct form I state, per channel
    };
    void Retarget(const Curve& curve);
    // No band glides, and none waits to ring out at 0 dB.
    bool Settled() const;
    // Every active band over `frames` frames, coefficients held.
    void RunSettled(float* x, int frames);
    // Two bands in turn, coefficients held, computed side by side.
    static void RunPair(float* x, int frames, Band& a, Band& b);
    // One band; with `step`, its coefficients move by `step` each frame.
    static void RunAlone(float* x, int frames, Band& b, const float* step);
    void Design(int band, float c[5]) const;

    EqSolver solver_;
    Curve curve_{};
    std::array<Band, kBands> bands_{};
    float smoothing_;          // per 128-frame step
    int sinceSolve_ = 1 << 20; // frames processed since the curve was last solved (capped)
};

} // namespace spinx::engine
