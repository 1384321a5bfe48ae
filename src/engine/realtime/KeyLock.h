#pragma once
// Key lock for one player: shifts the pitch of the resampled (varispeed) sound back by the
// player's speed, so that a faster or slower song keeps its key. Built on Rubber Band's real-time
// stretcher. The player's worker makes it and primes it (through every ratio the mixer may ask
// for, so that the stretcher has sized its buffers); from then on it runs on the mixer's thread
// and neither allocates nor waits.
#include <cstdint>
#include <memory>

namespace RubberBand {
class RubberBandStretcher;
}

namespace spinx::engine {

class KeyLock {
  public:
    explicit KeyLock(int rate); // worker thread, with Prime
    ~KeyLock();
    void Prime();
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;

    // The sound starts from silence: forget what went before and prime the stretcher, so that
    // the first frame taken is the first frame fed, shifted for `speed`.
    void Restart(double speed);
    // The pitch correction for `speed` (output pitch = input pitch / speed), gliding inside the
    // stretcher.
    void SetSpeed(double speed);
    // Feeds `frames` (at most kMaxChunk) interleaved stereo frames.
    void Feed(const float* interleaved, int frames);
    // Frames ready to take.
    int Ready() const { return static_cast<int>(fifoWrite_ - fifoRead_); }
    // Takes `frames` (at most Ready()) interleaved stereo frames.
    void Take(float* interleaved, int frames);
    // Frames fed and not taken yet: how far what is heard trails what was fed.
    int64_t Lag() const { return fed_ - taken_; }
    int64_t Fed() const { return fed_; }
    int64_t Taken() const { return taken_; }

  private:
    void Drain();

    static constexpr int kFifoFrames = 16384; // a power of two, well above the stretcher's burst
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    double pitchScale_ = 1.0;
    int discard_ = 0; // frames of the stretcher's start delay still to throw away
    int64_t fed_ = 0, taken_ = 0;
    uint64_t fifoWrite_ = 0, fifoRead_ = 0;
    std::unique_ptr<float[]> fifo_;   // kFifoFrames interleaved stereo frames
    std::unique_ptr<float[]> planes_; // two channel planes of kMaxChunk frames, in and out
};

} // namespace spinx::engine
