#include "engine/output/PulseOutput.h"

#include "engine/output/PulseShared.h"
#include "engine/realtime/Mixer.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace spinx::engine {

namespace {

using namespace std::chrono_literals;

// How often the library's thread looks at what cannot wake a rest (a recording started) and
// at whether the server still takes audio.
constexpr pa_usec_t kWatchUs = 100000;
// A playing stream that has asked for nothing for this long is answered anyway, from what it
// asked for before: four times the default buffer.
constexpr auto kUnansweredAfter = 120ms;

// The library answers null for an operation on a stream that has failed.
void Forget(pa_operation* operation) {
    if (operation) pa_operation_unref(operation);
}

} // namespace

std::unique_ptr<PulseOutput> PulseOutput::Open(int rate, int framesPerBuffer, int latencyMs,
                                               std::string* reason) {
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    if (!loop) {
        *reason = "the sound server's client library will not start";
        return nullptr;
    }
    pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Spinx");
    // Its thread sends our audio; it inherits the starting thread's scheduling, so start it at
    // real-time priority (when allowed) and drop back.
    int policy = SCHED_OTHER;
    sched_param before{};
    pthread_getschedparam(pthread_self(), &policy, &before);
    const int realtime = RequestRealtime();
    const bool raised = realtime > 0;
    const bool started =
        context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        pa_threaded_mainloop_start(loop) >= 0;
    if (raised) pthread_setschedparam(pthread_self(), policy, &before);
    bool ready = false;
    if (started) {
        pa_threaded_mainloop_lock(loop);
        ready = AwaitServer(loop, [&] {
            const pa_context_state_t s = pa_context_get_state(context);
            return s == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(s) ? -1 : 0;
        });
        pa_threaded_mainloop_unlock(loop);
    }
    if (!ready) {
        *reason = std::string("the sound server does not answer: ") +
                  (context ? pa_strerror(pa_context_errno(context)) : "no client");
        if (started) pa_threaded_mainloop_stop(loop);
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        pa_threaded_mainloop_free(loop);
        return nullptr;
    }
    const int bufferFrames = std::max(2 * framesPerBuffer, latencyMs * rate / 1000);
    const int period = std::max(framesPerBuffer, bufferFrames / 3);
    return std::unique_ptr<PulseOutput>(
        new PulseOutput(loop, context, rate, framesPerBuffer, period, bufferFrames, realtime));
}

PulseOutput::PulseOutput(pa_threaded_mainloop* loop, pa_context* context, int rate, int frames,
                         int period, int bufferFrames, int realtime)
    : FallibleOutput(rate, frames, 1000.0 * bufferFrames / rate), loop_(loop), context_(context),
      period_(period), bufferFrames_(bufferFrames), realtime_(realtime),
      buffer_(static_cast<size_t>(period) * 2) {}

PulseOutput::~PulseOutput() {
    pa_threaded_mainloop_lock(loop_);
    abandoned_.store(true, std::memory_order_seq_cst); // no more mixing from the library
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    for (pa_time_event* event : {watch_, cork_})
        if (event) api->time_free(event);
    watch_ = cork_ = nullptr;
    if (stream_) {
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_context_unref(context_);
    pa_threaded_mainloop_free(loop_);
    StopFallback();
}

void PulseOutput::Start(Mixer& mixer, std::function<bool()> playing) {
    mixer_ = &mixer;
    playing_ = std::move(playing);
    pa_threaded_mainloop_lock(loop_);
    lastWrite_ = lastWatch_ = Clock::now();
    pa_context_set_state_callback(context_, &PulseOutput::OnState, this);
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(rate_), 2};
    // A period is a third of the buffer.
    pa_buffer_attr attr = PlaybackBuffer(bufferFrames_, period_);
    stream_ = pa_stream_new(context_, "Spinx", &format, nullptr);
    bool ready = false;
    if (stream_) {
        pa_stream_set_write_callback(stream_, &PulseOutput::OnRequest, this);
        pa_stream_set_underflow_callback(stream_, &PulseOutput::OnUnderflow, this);
        ready = pa_stream_connect_playback(stream_, nullptr, &attr, PA_STREAM_EARLY_REQUESTS,
                                           nullptr, nullptr) >= 0 &&
                AwaitServer(loop_, [&] {
                    const pa_stream_state_t s = pa_stream_get_state(stream_);
                    return s == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(s) ? -1 : 0;
                });
    }
    if (!ready) {
        Abandon("will not take a stream");
    } else {
        watch_ = pa_context_rttime_new(context_, pa_rtclock_now() + kWatchUs, &PulseOutput::OnWatch,
                                       this);
    }
    pa_threaded_mainloop_unlock(loop_);
    ReportRealtime("audio", realtime_, 1000.0 * bufferFrames_ / rate_);
}

void PulseOutput::Wake() {
    wakes_.fetch_add(1, std::memory_order_seq_cst);
    if (!resting_.load(std::memory_order_seq_cst)) return;
    pa_threaded_mainloop_lock(loop_);
    if (resting_.load(std::memory_order_seq_cst)) EndRest();
    pa_threaded_mainloop_unlock(loop_);
}

bool PulseOutput::Woken() const {
    return wakes_.load(std::memory_order_seq_cst) != restSeen_ || (playing_ && playing_()) ||
           mixer_->Tap().Armed();
}

void PulseOutput::OnRequest(pa_stream*, size_t bytes, void* self) {
    static_cast<PulseOutput*>(self)->Fill(bytes);
}

void PulseOutput::Fill(size_t bytes) {
    if (abandoned_.load(std::memory_order_acquire) || resting_.load(std::memory_order_acquire))
        return;
    const int restAfter = static_cast<int>(RestAfter() * rate_);
    for (int frames = static_cast<int>(bytes / (sizeof(float) * 2)); frames > 0;) {
        const int n = std::min(frames, period_);
        const uint64_t commands = wakes_.load(std::memory_order_seq_cst); // before the mixer
        const auto start = Clock::now();
        mixer_->Render(buffer_.data(), n, /*offline=*/false);
        stats_.Record(std::chrono::duration<double, std::micro>(Clock::now() - start).count(),
                      late_);
        late_ = false;
        pa_stream_write(stream_, buffer_.data(), sizeof(float) * 2 * n, nullptr, 0,
                        PA_SEEK_RELATIVE);
        lastWrite_ = Clock::now();
        frames -= n;
        const bool quiet =
            !(playing_ && playing_()) && !mixer_->Tap().Armed() && Silent(buffer_.data(), 2 * n);
        silentFrames_ = quiet ? silentFrames_ + n : 0;
        if (silentFrames_ >= restAfter) {
            BeginRest(commands);
            return;
        }
    }
}

// Stops writing; the stream pauses once it has played out all but two writes' worth, so a
// Play from the rest is not queued behind all of it, and it never runs dry.
void PulseOutput::BeginRest(uint64_t seen) {
    restSeen_ = seen;
    resting_.store(true, std::memory_order_seq_cst);
    if (Woken()) { // a command came while the last buffer was mixed
        resting_.store(false, std::memory_order_seq_cst);
        return;
    }
    silentFrames_ = 0;
    const pa_usec_t drain = 1000000ull * std::max(bufferFrames_ - 2 * period_, 0) / rate_;
    cork_ = pa_context_rttime_new(context_, pa_rtclock_now() + drain, &PulseOutput::OnCork, this);
}

void PulseOutput::OnCork(pa_mainloop_api* api, pa_time_event* event, const struct timeval*,
                         void* self) {
    auto* o = static_cast<PulseOutput*>(self);
    api->time_free(event);
    o->cork_ = nullptr;
    if (!o->abandoned_.load(std::memory_order_acquire))
        Forget(pa_stream_cork(o->stream_, 1, nullptr, nullptr));
}

// The server's requests that came while resting were not answered, and it never asks twice for
// the same bytes: they are all answered now. A corked stream holding less than its start
// threshold, left without them, would wait for data it has already asked for, for good.
void PulseOutput::EndRest() {
    if (cork_) {
        pa_threaded_mainloop_get_api(loop_)->time_free(cork_);
        cork_ = nullptr;
    } else if (!abandoned_.load(std::memory_order_acquire)) {
        Forget(pa_stream_cork(stream_, 0, nullptr, nullptr));
    }
    resting_.store(false, std::memory_order_seq_cst);
    lastWrite_ = Clock::now();
    AnswerPending();
}

void PulseOutput::AnswerPending() {
    if (abandoned_.load(std::memory_order_acquire)) return;
    const size_t writable = pa_stream_writable_size(stream_);
    if (writable != static_cast<size_t>(-1) && writable > 0) Fill(writable);
}

void PulseOutput::OnUnderflow(pa_stream*, void* self) {
    static_cast<PulseOutput*>(self)->late_ = true;
}

void PulseOutput::OnState(pa_context* context, void* self) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        static_cast<PulseOutput*>(self)->Abandon("failed");
}

void PulseOutput::OnWatch(pa_mainloop_api*, pa_time_event* event, const struct timeval*,
                          void* self) {
    auto* o = static_cast<PulseOutput*>(self);
    if (o->abandoned_.load(std::memory_order_acquire)) return;
    // A watch that comes late found the whole program stopped (a debugger, a suspended
    // machine), not a server that stopped taking audio.
    const Clock::time_point now = Clock::now();
    if (now - o->lastWatch_ > kSilentDeath / 2) o->lastWrite_ = now;
    o->lastWatch_ = now;
    if (o->resting_.load(std::memory_order_acquire)) {
        if (o->Woken()) o->EndRest();
    } else if (now - o->lastWrite_ > kSilentDeath) {
        o->Abandon("stopped (it takes no more audio)");
        return;
    } else if (now - o->lastWrite_ > kUnansweredAfter) {
        // A request that found no answer (it should never happen) costs a glitch, not the
        // output: what the server asked for is written now.
        o->AnswerPending();
    }
    pa_context_rttime_restart(o->context_, event, pa_rtclock_now() + kWatchUs);
}

// The server is gone or useless: the library's thread mixes no more (this runs on it), and a
// null output clocks the mixer from here on.
void PulseOutput::Abandon(const char* why) {
    if (abandoned_.exchange(true, std::memory_order_seq_cst)) return;
    std::fprintf(stderr, "spinx: the sound output %s; continuing without sound\n", why);
    FallBack(*mixer_);
}

} // namespace spinx::engine
