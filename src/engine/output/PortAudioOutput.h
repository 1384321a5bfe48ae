#pragma once
// The sound card: PortAudio's default output device, stereo float32 at 44.1 kHz when the device
// takes it (else at its own rate), about 256-frame buffers. A watchdog thread notices a device
// that stops calling back (a sound server that went away) or that is no clock (ALSA's null
// PCM calls back thousands of times faster than real time) and hands the mixer to a null
// output, so that positions and events carry on at real-time pace.
#include "engine/output/AudioOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef void PaStream;

namespace spinx::engine {

class NullOutput;

class PortAudioOutput : public AudioOutput {
  public:
    // UI thread. Opens the default device (not started yet); null with `reason` when there is
    // none or it will not open.
    static std::unique_ptr<PortAudioOutput> Open(int preferredRate, int framesPerBuffer,
                                                 std::string* reason);
    // UI thread. The same for the output device called `name` ("" = the default device).
    static std::unique_ptr<PortAudioOutput> OpenNamed(const std::string& name, int preferredRate,
                                                      int framesPerBuffer, std::string* reason);
    // UI thread. The names of the devices that take output, as PortAudio lists them.
    static std::vector<std::string> DeviceNames();
    ~PortAudioOutput() override;

    // UI thread. Starts calling `mixer`; false (with `reason`) if the stream will not start.
    bool Start(Mixer& mixer, std::string* reason);

    OutputKind Kind() const override;
    int SampleRate() const override { return rate_; }
    OutputStats Snapshot() const override;
    void ResetStats() override;

    // The audio callback's body: mix, time it, count underflows. Nothing else.
    int OnCallback(float* out, unsigned long frames, bool underflow);

  private:
    PortAudioOutput(PaStream* stream, int rate, int frames);
    void Watch(); // the watchdog thread

    PaStream* stream_;
    const int rate_;
    const int frames_;
    Mixer* mixer_ = nullptr;
    std::atomic<uint64_t> callbacks_{0};
    // Callback thread only: when the stream started and how much it has taken since.
    std::chrono::steady_clock::time_point firstCallback_{};
    uint64_t framesTaken_ = 0;
    std::atomic<bool> clockless_{false}; // the device pulls audio faster than real time
    std::atomic<bool> failed_{false};
    std::atomic<bool> abandoned_{false};   // the callback must no longer touch the mixer
    std::unique_ptr<NullOutput> fallback_; // set by the watchdog when the device died
    std::atomic<NullOutput*> fallbackReady_{nullptr};
    std::mutex watchMutex_;
    std::condition_variable watchCv_;
    bool quit_ = false;
    std::thread watchdog_;
};

} // namespace spinx::engine
