#pragma once
// The sound card through ALSA: a device chosen by name, or the default one when no desktop sound
// server answers (PulseOutput speaks to a server directly). Stereo float32 at 44.1 kHz
// when the device takes it (else at its own rate), writes of a third of a latency the caller
// chooses. An audio thread of our own, at real-time priority where allowed, keeps the
// device's buffer full; a late buffer costs that buffer's time and nothing more (the device runs
// on through an underrun instead of being stopped and restarted). A watchdog thread notices a
// device that stops taking audio (a sound server that went away) or that is no clock (ALSA's
// null PCM takes audio thousands of times faster than real time) and hands the mixer to a null
// output, so that positions and events carry on at real-time pace.
//
// While nothing plays (no deck playing, no recording, the mix digitally silent for a moment, so
// fades and the limiter's tail are out), the audio thread rests: it pauses the device and sleeps
// until a command comes. The stream stays open, because a sound server takes seconds to connect
// a new one. Paused, not run dry: a sound server restarts a stream that ran dry by rewinding
// the sink, and a recording of its output then loses the start of the sound; a paused stream
// resumes behind the silence it holds, like a running one.

#include "engine/output/FallibleOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;
typedef struct _snd_config snd_config_t;

namespace spinx::engine {

class DeviceOutput : public FallibleOutput {
  public:
    // UI thread. Opens the default device (not started yet) with about `latencyMs` of
    // buffering; null with `reason` when there is none or it will not open.
    // `device` names an ALSA device; empty = the default one.
    static std::unique_ptr<DeviceOutput> Open(int preferredRate, int framesPerBuffer, int latencyMs,
                                              std::string* reason, const std::string& device = {});
    // UI thread. The devices that take output: the configured ones, then the cards' own.
    static std::vector<std::string> DeviceNames();
    ~DeviceOutput() override;

    // UI thread. Starts the audio thread calling `mixer`.
    void Start(Mixer& mixer, std::function<bool()> playing) override;
    void Wake() override;
    bool WorthRetrying() const override { return !clockless_.load(std::memory_order_acquire); }
    // Any thread: the audio thread rests (nothing plays).
    bool Resting() const { return resting_.load(std::memory_order_acquire); }


  private:
    DeviceOutput(snd_pcm_t* pcm, snd_config_t* config, int rate, int frames, int period,
                 long bufferFrames);
    void Run();   // the audio thread
    void Watch(); // the watchdog thread
    // Audio thread: mixes one buffer and hands it to the device; false when the device failed.
    bool RenderOne(float* buffer);
    // Audio thread: sleeps while nothing plays and no command came after `seen`; false on quit.
    bool Rest(uint64_t seen);

    snd_pcm_t* pcm_;
    snd_config_t* config_; // the configuration the device was opened with
    const int period_;        // frames per write to the device
    const long bufferFrames_; // the device buffer, which is the output latency
    Mixer* mixer_ = nullptr;
    std::function<bool()> playing_;
    std::atomic<uint64_t> buffers_{0}; // buffers handed to the device
    std::atomic<int> realtime_{kRealtimeUnknown};
    std::atomic<bool> clockless_{false}; // the device takes audio faster than real time
    std::atomic<bool> failed_{false};    // the device reported an error it cannot recover from
    std::atomic<bool> abandoned_{false}; // the audio thread must no longer touch the mixer
    std::atomic<bool> rendering_{false}; // the audio thread is inside the mixer
    std::atomic<bool> quit_{false};
    std::atomic<uint64_t> wakes_{0}; // commands sent (Wake calls)
    std::atomic<bool> resting_{false};
    std::mutex restMutex_;
    std::condition_variable restCv_;
    std::mutex watchMutex_;
    std::condition_variable watchCv_;
    bool watchQuit_ = false;
    std::thread audio_;
    std::thread watchdog_;
};

} // namespace spinx::engine
