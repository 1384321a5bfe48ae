#pragma once
// An output on a device that can go away (a sound card, a sound server). Once it has, a null
// output clocks the mixer instead, so that positions and events carry on at real-time pace;
// from then on the output reports itself as the null one.
#include "engine/output/AudioOutput.h"

#include <atomic>
#include <chrono>
#include <memory>

namespace spinx::engine {

class NullOutput;

class FallibleOutput : public AudioOutput {
  public:
    ~FallibleOutput() override;
    OutputKind Kind() const override;
    int SampleRate() const override { return rate_; }
    OutputStats Snapshot() const override;
    void ResetStats() override;

    // How long the mix must have been silent, with nothing playing, before the output rests:
    // well past a fade-out and the limiter's tail, and long enough that a quick Stop-then-Play
    // never goes through a rest. Shorter only for measurements that need many rests.
    static void SetRestAfter(double seconds) { restAfter_.store(seconds); }
    static double RestAfter() { return restAfter_.load(std::memory_order_relaxed); }

  protected:
    // A device that has not taken a buffer for this long (not resting) is taken for dead.
    // Generous, because a sound server may stall a second or two while it starts a stream.
    static constexpr std::chrono::milliseconds kSilentDeath{2500};
    static bool Silent(const float* buffer, int samples);

    FallibleOutput(int rate, int mixerFrames, double latencyMs);
    // Once, on one thread, after the device's own thread has stopped mixing: the null output
    // takes `mixer` over.
    void FallBack(Mixer& mixer);
    // Stops the null output, if there is one (the derived output's destructor).
    void StopFallback();

    const int rate_;

  private:
    static inline std::atomic<double> restAfter_{0.2};
    const int mixerFrames_; // the null output's buffer
    const double latencyMs_;
    std::unique_ptr<NullOutput> fallback_;
    std::atomic<NullOutput*> fallbackReady_{nullptr};
};

} // namespace spinx::engine
