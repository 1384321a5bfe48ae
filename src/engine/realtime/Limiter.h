#pragma once
// The master limiter: keeps every output sample at or below kCeiling with a look-ahead of
// Lookahead() frames. Runs on the mixer's thread; all its memory is taken at construction, so
// Process never allocates, locks or waits.
//
// How it shapes the gain, per stereo frame (both channels share one gain, so the image holds):
//  1. the gain this frame needs, kCeiling / peak (1 when the frame is below the ceiling);
//  2. the least of those over a hold window (the look-ahead plus 20 ms), so the gain does not
//     ripple with each cycle of a loud bass note;
//  3. a release that lets the gain rise back with a 150 ms time constant (falls pass at once);
//  4. a moving average over the look-ahead, which turns each fall into a straight ramp that
//     ends exactly when the loud frame leaves the delay line.
// Every value that step 4 averages is at most the gain the frame leaving the line needs, so the
// ceiling holds without clipping. While nothing comes near the ceiling the gain is exactly 1
// and the output is the input, delayed, bit for bit.
#include <cstdint>
#include <vector>

namespace spinx::engine {

class Limiter {
  public:
    static constexpr float kCeiling = 0.96605088f; // -0.3 dBFS

    // `maxFrames`: the largest block Process and Prime are given.
    Limiter(int rate, int maxFrames);

    int Lookahead() const { return lookahead_; }
    // Frames still to give Prime before Process may run (all of the look-ahead after Reset).
    int Missing() const { return lookahead_ - held_; }
    // Takes up to Missing() frames into the delay line without producing output.
    void Prime(const float* in, int frames);
    // Takes `frames` new frames from `in` and writes `frames` frames to `out`, each the one taken
    // Lookahead() frames earlier, limited. Needs a full delay line. `in` and `out` may be the
    // same buffer.
    void Process(const float* in, float* out, int frames);
    // Forgets the line and the gain: the next frames start a new stream at unity gain.
    void Reset();

  private:
    bool Idle() const { return lastBelow_ < now_ - hold_ && release_ == 1.0f && belowUnity_ == 0; }
    // Steps 1-4 for `frames` input frames (at most gains_.size()): gains_[i] is the gain for
    // the frame leaving the line as input frame i comes in.
    void Gains(const float* in, int frames);
    // The hold window holds only 1s (nothing below the ceiling's need in it): start it afresh,
    // so that frames passed by without Gains need no bookkeeping.
    void ClearHold();

    const int lookahead_;
    const int hold_;
    const float releaseCoef_;
    const int maxFrames_;
    int held_ = 0;
    std::vector<float> line_; // lookahead_ frames held, then room for one block
    int64_t now_ = 0;         // input frames taken since the last Reset
    // Running minimum over the hold window, without branches (van Herk / Gil-Werman): the
    // window is the current block of hold_ frames so far (its running minimum) and the end of
    // the block before (the minima of its suffixes, worked out once when it completed).
    std::vector<float> block_;  // the current block's needs
    std::vector<float> suffix_; // suffix_[j]: least need of the previous block from j on
    float prefix_ = 1.0f;
    int pos_ = 0;
    bool holdClear_ = false;
    int64_t lastBelow_; // input frame of the last need below 1
    float release_ = 1.0f;
    std::vector<float> average_; // the last lookahead_ released gains
    int averagePos_ = 0;
    int belowUnity_ = 0; // entries of average_ below 1
    double averageSum_;
    const double perLookahead_; // a multiply per frame instead of a divide
    std::vector<float> gains_;  // per block: the needs, then the gains
};

} // namespace spinx::engine
