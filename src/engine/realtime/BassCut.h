#pragma once
// A player's lows taken out and given back, as a DJ does in a bass swap: a 4th-order high-pass
// at 150 Hz blended in and out over a short glide, so neither the cut nor its return clicks.
// Untouched (bit-transparent) while the lows are in. Runs on the mixer's thread.
namespace spinx::engine {

class BassCut {
  public:
    static constexpr double kCornerHz = 150.0;
    static constexpr double kGlideSeconds = 0.08;

    explicit BassCut(int rate);
    // Filters interleaved stereo in place, gliding towards the lows `cut` or in.
    void Process(float* buf, int frames, bool cut);
    // The player restarts from silence: take `cut` at once, with a fresh filter.
    void Restart(bool cut);

  private:
    struct Biquad {
        float x1[2] = {}, x2[2] = {}, y1[2] = {}, y2[2] = {};
    };
    float c_[5] = {}; // b0 b1 b2 a1 a2 of one Butterworth high-pass section
    Biquad sections_[2];
    float mix_ = 0.0f; // 0: the lows in, 1: cut
    float step_;
};

} // namespace spinx::engine
