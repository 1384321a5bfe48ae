#pragma once
// An output on a device that can go away (a sound card, a sound server). Once it has, a null
// output clocks the mixer instead, so that positions and events carry on at real-time pace;
// from then on the output reports itself as the null one.
#include "engine/output/AudioOutput.h"

#include <atomic>
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

  protected:
    FallibleOutput(int rate, int mixerFrames, double latencyMs);
    // Once, on one thread, after the device's own thread has stopped mixing: the null output
    // takes `mixer` over.
    void FallBack(Mixer& mixer);
    // Stops the null output, if there is one (the derived output's destructor).
    void StopFallback();

    const int rate_;

  private:
    const int mixerFrames_; // the null output's buffer
    const double latencyMs_;
    std::unique_ptr<NullOutput> fallback_;
    std::atomic<NullOutput*> fallbackReady_{nullptr};
};

} // namespace spinx::engine
