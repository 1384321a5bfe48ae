#pragma once
// An output with no device: a thread renders one buffer per buffer period of real time, so
// positions advance and events fire as if a sound card were playing.
#include "engine/output/AudioOutput.h"

#include <atomic>
#include <thread>

namespace spinx::engine {

class NullOutput : public AudioOutput {
  public:
    // UI thread. Starts the clock thread at once.
    NullOutput(Mixer& mixer, int rate, int framesPerBuffer);
    ~NullOutput() override;
    OutputKind Kind() const override { return OutputKind::Null; }
    int SampleRate() const override { return rate_; }

  private:
    void Run(); // the clock thread

    Mixer& mixer_;
    const int rate_;
    const int frames_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

} // namespace spinx::engine
