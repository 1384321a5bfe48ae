#include "engine/output/PortAudioOutput.h"

#include "engine/output/NullOutput.h"
#include "engine/realtime/Mixer.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <portaudio.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace spinx::engine {

namespace {

// A device that has not asked for audio for this long is taken for dead. Generous, because a
// sound server may stall a second or two while it starts a stream.
constexpr auto kSilentDeath = std::chrono::milliseconds(2500);
// A device that has taken this much more audio than real time allows is no clock. Sound
// servers take a few buffers ahead when a stream starts; this is far more than that.
constexpr double kMaxAheadSeconds = 0.5;

void IgnoreAlsa(const char*, int, const char*, int, const char*, ...) {}
void IgnoreJack(const char*) {}

// ALSA and JACK (which PortAudio probes) print dozens of lines on a machine without a card or
// server. Route their messages nowhere; our own line says what matters.
void SilenceLibraries() {
    snd_lib_error_set_handler(&IgnoreAlsa);
    using JackMessage = void (*)(const char*);
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
        if (void* set = dlsym(RTLD_DEFAULT, name))
            reinterpret_cast<void (*)(JackMessage)>(set)(&IgnoreJack);
    }
}

std::string PaText(PaError e) {
    return Pa_GetErrorText(e);
}

// The audio callback.
int PaCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
               PaStreamCallbackFlags flags, void* self) {
    return static_cast<PortAudioOutput*>(self)->OnCallback(static_cast<float*>(output), frames,
                                                           (flags & paOutputUnderflow) != 0);
}

// PortAudio initialised.
PaDeviceIndex DeviceNamed(const std::string& name) {
    for (PaDeviceIndex i = 0, n = Pa_GetDeviceCount(); i < n; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxOutputChannels > 0 && name == info->name) return i;
    }
    return paNoDevice;
}

} // namespace

std::unique_ptr<PortAudioOutput> PortAudioOutput::Open(int preferredRate, int frames,
                                                       std::string* reason) {
    return OpenNamed({}, preferredRate, frames, reason);
}

std::vector<std::string> PortAudioOutput::DeviceNames() {
    SilenceLibraries();
    std::vector<std::string> names;
    if (Pa_Initialize() != paNoError) return names;
    for (PaDeviceIndex i = 0, n = Pa_GetDeviceCount(); i < n; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxOutputChannels > 0) names.emplace_back(info->name);
    }
    Pa_Terminate();
    return names;
}

std::unique_ptr<PortAudioOutput> PortAudioOutput::OpenNamed(const std::string& name,
                                                            int preferredRate, int frames,
                                                            std::string* reason) {
    SilenceLibraries();
    PaError e = Pa_Initialize();
    if (e != paNoError) {
        *reason = "PortAudio cannot start: " + PaText(e);
        return nullptr;
    }
    const PaDeviceIndex device = name.empty() ? Pa_GetDefaultOutputDevice() : DeviceNamed(name);
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
    if (!info) {
        Pa_Terminate();
        *reason = name.empty() ? "no output device" : "no output device called " + name;
        return nullptr;
    }
    PaStreamParameters out{};
    out.device = device;
    out.channelCount = 2;
    out.sampleFormat = paFloat32;
    out.suggestedLatency = info->defaultLowOutputLatency;
    PaStream* stream = nullptr;
    int rate = preferredRate;
    e = Pa_IsFormatSupported(nullptr, &out, rate);
    if (e != paFormatIsSupported) rate = static_cast<int>(info->defaultSampleRate);
    auto self = std::unique_ptr<PortAudioOutput>(new PortAudioOutput(nullptr, rate, frames));
    e = Pa_OpenStream(&stream, nullptr, &out, rate, static_cast<unsigned long>(frames), paNoFlag,
                      &PaCallback, self.get());
    if (e != paNoError) {
        Pa_Terminate();
        *reason = std::string(info->name) + ": " + PaText(e);
        self.release(); // nothing to close; avoid Pa_Terminate twice
        return nullptr;
    }
    self->stream_ = stream;
    return self;
}

PortAudioOutput::PortAudioOutput(PaStream* stream, int rate, int frames)
    : stream_(stream), rate_(rate), frames_(frames) {}

PortAudioOutput::~PortAudioOutput() {
    if (watchdog_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(watchMutex_);
            quit_ = true;
        }
        watchCv_.notify_all();
        watchdog_.join();
    }
    fallback_.reset();
    if (stream_) {
        abandoned_.store(true, std::memory_order_release);
        if (!failed_.load()) Pa_StopStream(stream_);
        Pa_CloseStream(stream_);
        Pa_Terminate();
    }
}

bool PortAudioOutput::Start(Mixer& mixer, std::string* reason) {
    mixer_ = &mixer;
    const PaError e = Pa_StartStream(stream_);
    if (e != paNoError) {
        *reason = "the output will not start: " + PaText(e);
        return false;
    }
    watchdog_ = std::thread([this] { Watch(); });
    return true;
}

OutputKind PortAudioOutput::Kind() const {
    return fallbackReady_.load(std::memory_order_acquire) ? OutputKind::Null : OutputKind::Default;
}

OutputStats PortAudioOutput::Snapshot() const {
    if (NullOutput* n = fallbackReady_.load(std::memory_order_acquire)) return n->Snapshot();
    return stats_.Snapshot();
}

void PortAudioOutput::ResetStats() {
    if (NullOutput* n = fallbackReady_.load(std::memory_order_acquire)) n->ResetStats();
    stats_.Reset();
}

int PortAudioOutput::OnCallback(float* out, unsigned long frames, bool underflow) {
    if (abandoned_.load(std::memory_order_acquire) || clockless_.load(std::memory_order_relaxed)) {
        std::memset(out, 0, sizeof(float) * 2 * frames);
        return abandoned_.load(std::memory_order_acquire) ? paAbort : paContinue;
    }
    const auto start = std::chrono::steady_clock::now();
    if (framesTaken_ == 0) firstCallback_ = start;
    framesTaken_ += frames;
    const double allowed =
        std::chrono::duration<double>(start - firstCallback_).count() + kMaxAheadSeconds;
    if (static_cast<double>(framesTaken_) > allowed * rate_) {
        // Faster than real time: stop feeding it before the songs race to their ends.
        clockless_.store(true, std::memory_order_release);
        std::memset(out, 0, sizeof(float) * 2 * frames);
        return paContinue;
    }
    mixer_->Render(out, static_cast<int>(frames), /*offline=*/false);
    const auto end = std::chrono::steady_clock::now();
    stats_.Record(std::chrono::duration<double, std::micro>(end - start).count(), underflow);
    callbacks_.fetch_add(1, std::memory_order_release);
    return paContinue;
}

void PortAudioOutput::Watch() {
    uint64_t seen = callbacks_.load(std::memory_order_acquire);
    auto lastProgress = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(watchMutex_);
    while (!quit_) {
        watchCv_.wait_for(lock, std::chrono::milliseconds(100));
        if (quit_) return;
        const uint64_t now = callbacks_.load(std::memory_order_acquire);
        const auto t = std::chrono::steady_clock::now();
        if (now != seen) {
            seen = now;
            lastProgress = t;
        }
        const bool stopped = Pa_IsStreamActive(stream_) != 1;
        const bool clockless = clockless_.load(std::memory_order_acquire);
        if (!stopped && !clockless && t - lastProgress < kSilentDeath) continue;
        // The device is gone or useless: stop it from touching the mixer, and clock the mixer
        // ourselves.
        abandoned_.store(true, std::memory_order_release);
        failed_.store(true, std::memory_order_release);
        std::fprintf(stderr, "spinx: the sound output %s; continuing without sound\n",
                     clockless ? "does not keep real time (a null device?)"
                     : stopped ? "stopped (stream ended)"
                               : "stopped (no callbacks)");
        fallback_ = std::make_unique<NullOutput>(*mixer_, rate_, frames_);
        fallbackReady_.store(fallback_.get(), std::memory_order_release);
        return;
    }
}

} // namespace spinx::engine
