#pragma once
// The second output, for the DJ's headphones: a device of its own, drained from the mixer's
// HeadphoneRing by that device's thread at that device's pace, so that the master output and
// its timing stay exactly as they are. A sink of the desktop's sound server when one by that
// name answers (a second stream, on the server's client thread), else an ALSA device (a second
// PCM, on a thread of ours). Nothing here waits for the mixer, nor the mixer for it. A device
// that goes away is reported (Lost) and left alone; the engine then drops it.
#include "engine/HeadphoneRing.h"

#include <atomic>
#include <memory>
#include <string>

namespace spinx::engine {

class HeadphoneOutput {
  public:
    virtual ~HeadphoneOutput() = default;
    // Any thread. The device went away or stopped taking audio; Why() says how.
    bool Lost() const { return lost_.load(std::memory_order_acquire); }
    std::string Why() const { return Lost() ? std::string(why_) : std::string(); }
    // From mixing a frame to hearing it: the device's buffer and the ring's average wait.
    double LatencyMs() const;

  protected:
    HeadphoneOutput(HeadphoneRing& feed, int rate, double bufferMs, int wakeFd);
    // The device's thread: the device is lost (once; later calls change nothing). Writes no
    // more than a few bytes and pokes the engine's wake-up descriptor: no allocation.
    void Lose(const char* why);

    HeadphoneRing& feed_;
    const int rate_;

  private:
    const double bufferMs_;
    const int wakeFd_;
    char why_[160] = {};
    std::atomic<bool> lost_{false};
};

// UI thread. Opens and starts the headphones on the device called `name` at `rate`, with about
// `latencyMs` of device buffering; null with `reason` (a sentence) when it will not play.
// `wakeFd` (an eventfd, or -1) is written when the device is lost.
std::unique_ptr<HeadphoneOutput> OpenHeadphones(const std::string& name, int rate, int latencyMs,
                                                HeadphoneRing& feed, int wakeFd,
                                                std::string* reason);

} // namespace spinx::engine
