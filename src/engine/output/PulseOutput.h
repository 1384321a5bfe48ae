#pragma once
// The desktop's sound server (PulseAudio, or PipeWire's PulseAudio service) spoken to directly,
// used for the default device whenever a server answers. Through the plugin every write wakes
// three threads: ours, which waits on the device, and twice the client library's own, which
// takes the server's request and sends our write. Here the client library's thread mixes each
// buffer in the server's request and sends it at once: one wake-up per write. Same buffer, same
// writes of a third of it, same behaviour as DeviceOutput otherwise: real-time priority where
// allowed, a rest while nothing plays (the stream paused, not run dry), and a hand-over to a
// null output when the server goes away or stops taking audio.
#include "engine/output/FallibleOutput.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_time_event;
struct pa_mainloop_api;

namespace spinx::engine {

class PulseOutput : public FallibleOutput {
  public:
    // UI thread. Connects to the default server (not playing yet); null with `reason` when
    // none answers.
    static std::unique_ptr<PulseOutput> Open(int rate, int framesPerBuffer, int latencyMs,
                                             std::string* reason);
    ~PulseOutput() override;

    // UI thread. Opens the stream, which calls `mixer` from then on. `playing` as for
    // DeviceOutput::Start: whether a deck plays (read on the audio thread, atomics only).
    void Start(Mixer& mixer, std::function<bool()> playing) override;
    void Wake() override;


  private:
    using Clock = std::chrono::steady_clock;
    PulseOutput(pa_threaded_mainloop* loop, pa_context* context, int rate, int frames, int period,
                int bufferFrames, int realtime);
    // The client library's thread (its lock held) from here on.
    static void OnRequest(pa_stream* stream, size_t bytes, void* self);
    static void OnUnderflow(pa_stream* stream, void* self);
    static void OnState(pa_context* context, void* self);
    static void OnWatch(pa_mainloop_api* api, pa_time_event* event, const struct timeval* at,
                        void* self);
    static void OnCork(pa_mainloop_api* api, pa_time_event* event, const struct timeval* at,
                       void* self);
    void Fill(size_t bytes);
    void BeginRest(uint64_t seen);
    void EndRest();
    void AnswerPending();
    bool Woken() const;
    void Abandon(const char* why);

    pa_threaded_mainloop* loop_;
    pa_context* context_;
    pa_stream* stream_ = nullptr;
    pa_time_event* watch_ = nullptr;
    pa_time_event* cork_ = nullptr; // pending: pauses the stream once it has played most out
    const int period_;       // frames per write
    const int bufferFrames_; // the server's buffer for us, which is the output latency
    const int realtime_;     // what RequestRealtime gave the library's thread
    Mixer* mixer_ = nullptr;
    std::function<bool()> playing_;
    std::vector<float> buffer_;
    int silentFrames_ = 0;
    bool late_ = false;       // the server ran dry since the last write
    uint64_t restSeen_ = 0;   // commands sent when the rest began
    Clock::time_point lastWrite_;
    Clock::time_point lastWatch_;
    std::atomic<uint64_t> wakes_{0}; // commands sent (Wake calls)
    std::atomic<bool> resting_{false};
    std::atomic<bool> abandoned_{false};
};

} // namespace spinx::engine
