#pragma once
// The headphones on an ALSA device of their own (a second card, or a card's second output):
// a thread of ours, at real-time priority where allowed, drains the headphone ring into it in
// writes of a third of its buffer. A device that fails, stops taking audio or takes it faster
// than real time (no clock: ALSA's null device) is given up and reported.
#include "engine/output/HeadphoneOutput.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

typedef struct _snd_pcm snd_pcm_t;

namespace spinx::engine {

class AlsaHeadphones : public HeadphoneOutput {
  public:
    // UI thread. Opens and starts the device; null with `reason` when it will not play.
    static std::unique_ptr<AlsaHeadphones> Open(const std::string& device, int rate, int latencyMs,
                                                HeadphoneRing& feed, int wakeFd,
                                                std::string* reason);
    ~AlsaHeadphones() override;

  private:
    AlsaHeadphones(snd_pcm_t* pcm, HeadphoneRing& feed, int rate, long bufferFrames, long period,
                   int wakeFd);
    void Run(); // the device's thread

    snd_pcm_t* pcm_;
    const long period_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

} // namespace spinx::engine
