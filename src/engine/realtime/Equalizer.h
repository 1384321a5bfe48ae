#pragma once
// The ten-band equaliser of one player: peaking biquads (RBJ cookbook) at fixed centres, with
// a bandwidth per band that follows the irregular spacing of the centres. Band gains glide to
// their targets (one-pole smoothing, coefficients recomputed every 32 frames), so a slider
// dragged at 60 updates a second neither zippers nor clicks. A band at 0 dB whose filter has
// rung out is skipped; with every band there the buffer is left untouched (bit-transparent).
// Runs on the mixer's thread.
#include <array>

namespace spinx::engine {

class Equalizer {
  public:
    static constexpr int kBands = 10;
    static constexpr std::array<double, kBands> kCentresHz = {600,  1000, 1700, 2400, 3000,
                                                              3700, 4300, 5000, 8000, 13700};

    explicit Equalizer(int rate);

    // Filters interleaved stereo in place, gliding towards `targetDb` (one value per band).
    void Process(float* buf, int frames, const std::array<float, kBands>& targetDb);
    // Forgets the filters' memory (the player restarts from silence).
    void Reset();

  private:
    struct Band {
        double cosTerm = 0;  // -2 cos(w0)
        double alpha = 0;    // sin(w0) * sinh(ln2 / 2 * bandwidth * w0 / sin(w0))
        float db = 0;        // gain applied now
        bool active = false; // filtering (not at 0 dB, or still ringing)
        float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        float s1[2] = {0, 0}, s2[2] = {0, 0}; // transposed direct form II state, per channel
    };
    void Design(Band& band) const;

    std::array<Band, kBands> bands_{};
    float smoothing_; // per 32-frame step
};

} // namespace spinx::engine
