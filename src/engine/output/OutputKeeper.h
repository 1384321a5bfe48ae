#pragma once
// Keeps the mix going to a sound device. The device is opened on a thread of the keeper's own,
// so that nothing waits for a slow or absent sound server. While there is no device (none at
// start, or the one playing went away or stopped taking audio), a null output clocks the mixer
// and a new device is tried twice a second; the mix moves to it by itself, and positions run on
// at real-time pace throughout.
#include "engine/output/AudioOutput.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace spinx::engine {

class OutputKeeper : public AudioOutput {
  public:
    // Opens a device, not started; null with `reason` (a phrase) when there is none.
    using Opener = std::function<std::unique_ptr<AudioOutput>(std::string* reason)>;

    // UI thread. `opened`, when given, plays at once; otherwise the first opening starts now,
    // in the background. `what` names the device in messages ("the default device").
    OutputKeeper(Mixer& mixer, int framesPerBuffer, std::function<bool()> playing, Opener open,
                 std::string what, std::unique_ptr<AudioOutput> opened = nullptr);
    ~OutputKeeper() override;

    // Default while a device plays or the first opening is still under way; Null otherwise.
    OutputKind Kind() const override { return kind_.load(std::memory_order_acquire); }
    int SampleRate() const override { return rate_; }
    OutputStats Snapshot() const override;
    void ResetStats() override;
    void Wake() override;
    // Any thread: waits up to `timeoutMs` for the first opening to be over; true when a device
    // plays.
    bool WaitFirst(int timeoutMs) const;

  private:
    // What the keeper's thread shares with the keeper. A device may take many seconds to open
    // (a server that accepts a connection and never answers); a keeper that goes meanwhile
    // leaves the thread behind with this alone, and the thread drops the device and ends.
    struct Shared {
        std::mutex mutex; // current_ and what follows, between the keeper's thread and others
        std::condition_variable changed;
        bool quit = false;
        bool opening = false; // the thread is in the opener, touching nothing of the keeper's
        bool done = false;    // the thread has left the keeper for good
    };

    void Run(std::shared_ptr<Shared> shared, bool tryNow); // the keeper's thread
    // The keeper's thread: `next` takes the mixer over from whatever clocks it now.
    void Replace(std::unique_ptr<AudioOutput> next);
    bool NeedsDevice() const; // with the lock held

    Mixer& mixer_;
    const int rate_;
    const int frames_;
    const std::function<bool()> playing_;
    const Opener open_;
    const std::string what_;
    const std::shared_ptr<Shared> shared_;
    std::unique_ptr<AudioOutput> current_; // null only while one output hands over to the next
    bool device_ = false;                  // current_ is a device, not the bridging null output
    bool tried_ = false;                   // the first opening is over
    bool wakeMissed_ = false;              // a Wake came while no output was there to take it
    OutputStats retired_;                  // buffers of the outputs replaced since the last reset
    std::atomic<OutputKind> kind_{OutputKind::Default};
    std::thread thread_;
};

} // namespace spinx::engine
