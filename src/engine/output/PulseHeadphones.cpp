#include "engine/output/PulseHeadphones.h"

#include "engine/output/AudioOutput.h"
#include "engine/output/PulseShared.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace spinx::engine {

std::unique_ptr<PulseHeadphones> PulseHeadphones::Open(const std::string& sink, int rate,
                                                       int latencyMs, HeadphoneRing& feed,
                                                       int wakeFd, std::string* reason,
                                                       bool* noServer) {
    // Writes of a third of the buffer, as the master's: the server asks again as soon as a
    // third has played.
    const int bufferFrames = std::max(512, latencyMs * rate / 1000);
    const int period = bufferFrames / 3;
    std::unique_ptr<PulseHeadphones> out(
        new PulseHeadphones(feed, rate, bufferFrames, period, wakeFd));
    if (!out->Connect(sink, reason, noServer)) return nullptr;
    return out;
}

PulseHeadphones::PulseHeadphones(HeadphoneRing& feed, int rate, int bufferFrames, int period,
                                 int wakeFd)
    : HeadphoneOutput(feed, rate, 1000.0 * bufferFrames / rate, wakeFd),
      bufferFrames_(bufferFrames), period_(period), buffer_(static_cast<size_t>(bufferFrames) * 2) {
}

bool PulseHeadphones::Connect(const std::string& sink, std::string* reason, bool* noServer) {
    *noServer = false;
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) {
        *noServer = true;
        *reason = "the sound server's client library will not start";
        return false;
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Spinx headphones");
    // The library's thread sends our audio: started at real-time priority where allowed, as the
    // master's is, then the UI thread drops back.
    int policy = SCHED_OTHER;
    sched_param before{};
    pthread_getschedparam(pthread_self(), &policy, &before);
    const bool raised = RequestRealtime() > 0;
    const bool started =
        context_ && pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        pa_threaded_mainloop_start(loop_) >= 0;
    if (raised) pthread_setschedparam(pthread_self(), policy, &before);
    if (!started) {
        *noServer = true;
        *reason = "no sound server answers";
        return false;
    }
    pa_threaded_mainloop_lock(loop_);
    const bool ready = AwaitServer(loop_, [&] {
        const pa_context_state_t s = pa_context_get_state(context_);
        return s == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(s) ? -1 : 0;
    });
    if (!ready) {
        pa_threaded_mainloop_unlock(loop_);
        *noServer = true;
        *reason = "no sound server answers";
        return false;
    }
    pa_context_set_state_callback(context_, &PulseHeadphones::OnContextState, this);
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(rate_), 2};
    pa_buffer_attr attr = PlaybackBuffer(bufferFrames_, period_);
    stream_ = pa_stream_new(context_, "Spinx headphones", &format, nullptr);
    bool playing = false;
    if (stream_) {
        pa_stream_set_write_callback(stream_, &PulseHeadphones::OnRequest, this);
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_EARLY_REQUESTS | PA_STREAM_DONT_MOVE);
        playing = pa_stream_connect_playback(stream_, sink.c_str(), &attr, flags, nullptr,
                                             nullptr) >= 0 &&
                  AwaitServer(loop_, [&] {
                      const pa_stream_state_t s = pa_stream_get_state(stream_);
                      return s == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(s) ? -1 : 0;
                  });
    }
    if (playing) {
        pa_stream_set_state_callback(stream_, &PulseHeadphones::OnStreamState, this);
    } else {
        *reason = "the sound server has no sink \"" + sink +
                  "\" that takes a stream: " + pa_strerror(pa_context_errno(context_));
    }
    pa_threaded_mainloop_unlock(loop_);
    return playing;
}

PulseHeadphones::~PulseHeadphones() {
    if (!loop_) return;
    pa_threaded_mainloop_lock(loop_);
    if (stream_) {
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    if (context_) pa_context_unref(context_);
    pa_threaded_mainloop_free(loop_);
}

void PulseHeadphones::OnRequest(pa_stream* stream, size_t bytes, void* self) {
    auto* o = static_cast<PulseHeadphones*>(self);
    if (o->Lost()) return;
    for (int frames = static_cast<int>(bytes / (sizeof(float) * 2)); frames > 0;) {
        const int n = std::min(frames, o->bufferFrames_);
        o->feed_.Read(o->buffer_.data(), n, o->rate_);
        pa_stream_write(stream, o->buffer_.data(), sizeof(float) * 2 * n, nullptr, 0,
                        PA_SEEK_RELATIVE);
        frames -= n;
    }
}

void PulseHeadphones::OnStreamState(pa_stream* stream, void* self) {
    const pa_stream_state_t s = pa_stream_get_state(stream);
    if (s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED)
        static_cast<PulseHeadphones*>(self)->Lose("the headphones' sink went away");
}

void PulseHeadphones::OnContextState(pa_context* context, void* self) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        static_cast<PulseHeadphones*>(self)->Lose("the sound server went away");
}

} // namespace spinx::engine
