#include "engine/output/DeviceOutput.h"

#include "engine/realtime/Mixer.h"

#include <alsa/asoundlib.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace spinx::engine {

namespace {

using Clock = std::chrono::steady_clock;

// A device that has taken this much more audio than real time allows is no clock. Sound
// servers take a few buffers ahead when a stream starts; this is far more than that.
constexpr double kMaxAheadSeconds = 0.5;
// The audio thread's longest wait for the device, so that it notices a quit soon.
constexpr int kWaitMs = 100;
// A resting output looks this often at what cannot wake it (a recording started).
constexpr auto kRestPoll = std::chrono::milliseconds(250);

// Frames per write: a third of the device buffer (at least the mixer's buffer). Each write
// costs a wake-up of our thread and of the sound server's client thread, so fewer larger ones
// are cheaper; the device keeps two thirds of its buffer in reserve. At the default latency one
// write holds a whole seek (the fade-out, the limiter's look-ahead and the first new
// millisecond), so a seek is heard after one write, not two.
int WritePeriod(int frames, int latencyMs, int rate) {
    return std::max(frames, latencyMs * rate / 3000);
}

void IgnoreAlsa(const char*, int, const char*, int, const char*, ...) {}

// Is `pcm` ALSA's PulseAudio plugin? ALSA names it only in its description.
bool IsPulsePlugin(snd_pcm_t* pcm) {
    if (snd_pcm_type(pcm) != SND_PCM_TYPE_IOPLUG) return false;
    snd_output_t* out = nullptr;
    if (snd_output_buffer_open(&out) < 0) return false;
    char* text = nullptr;
    snd_pcm_dump(pcm, out);
    const size_t size = snd_output_buffer_string(out, &text);
    const bool pulse = std::string_view(text, size).find("PulseAudio") != std::string_view::npos;
    snd_output_close(out);
    return pulse;
}

// The PulseAudio plugin told not to report underflows, with its configuration (null when it
// will not open). By default the plugin turns a server-side underflow into an xrun, whose
// recovery (snd_pcm_prepare) tears the server stream down and connects a new one; meanwhile the
// idle sink falls back to its longest latency and the new stream is not heard for about two
// seconds. A stream that simply underflows is started again by the server as soon as a
// buffer's worth has arrived.
snd_pcm_t* OpenQuietPulse(snd_config_t** config) {
    static const char kDevice[] = "pcm.spinx_pulse { type pulse handle_underrun false }";
    snd_input_t* in = nullptr;
    snd_pcm_t* pcm = nullptr;
    if (snd_config_update() < 0 || !snd_config || snd_config_copy(config, snd_config) < 0)
        return nullptr;
    if (snd_input_buffer_open(&in, kDevice, -1) == 0) {
        if (snd_config_load(*config, in) == 0)
            snd_pcm_open_lconf(&pcm, "spinx_pulse", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK,
                               *config);
        snd_input_close(in);
    }
    if (!pcm) {
        snd_config_delete(*config);
        *config = nullptr;
    }
    return pcm;
}

// Interleaved stereo float at about `rate`, `frames`-frame periods and a buffer of `latencyMs`
// (at least two periods). The device never stops by itself on an underrun: it plays silence
// and takes up our audio again as it comes. Returns 0 or an ALSA error with `what` failed.
int Configure(snd_pcm_t* pcm, int* rate, int frames, int latencyMs, long* bufferFrames,
              const char** what) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int err = 0;
    const auto step = [&](int result, const char* name) {
        if (err == 0 && result < 0) {
            err = result;
            *what = name;
        }
    };
    step(snd_pcm_hw_params_any(pcm, hw), "any format");
    step(snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED), "interleaving");
    step(snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_FLOAT), "float samples");
    step(snd_pcm_hw_params_set_channels(pcm, hw, 2), "stereo");
    unsigned r = static_cast<unsigned>(*rate);
    step(snd_pcm_hw_params_set_rate_near(pcm, hw, &r, nullptr), "the sample rate");
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(frames);
    step(snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr), "the period size");
    snd_pcm_uframes_t buffer = std::max<snd_pcm_uframes_t>(
        2 * period, static_cast<snd_pcm_uframes_t>(latencyMs) * r / 1000);
    step(snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer), "the buffer size");
    step(snd_pcm_hw_params(pcm, hw), "the format");
    if (err < 0) return err;
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_uframes_t boundary = 0;
    step(snd_pcm_sw_params_current(pcm, sw), "software parameters");
    step(snd_pcm_sw_params_get_boundary(sw, &boundary), "software parameters");
    step(snd_pcm_sw_params_set_start_threshold(pcm, sw, period), "the start threshold");
    step(snd_pcm_sw_params_set_stop_threshold(pcm, sw, boundary), "running through underruns");
    step(snd_pcm_sw_params_set_silence_threshold(pcm, sw, 0), "silence filling");
    step(snd_pcm_sw_params_set_silence_size(pcm, sw, boundary), "silence filling");
    step(snd_pcm_sw_params_set_avail_min(pcm, sw, period), "the wake-up size");
    step(snd_pcm_sw_params(pcm, sw), "software parameters");
    *rate = static_cast<int>(r);
    *bufferFrames = static_cast<long>(buffer);
    return err;
}

} // namespace

std::vector<std::string> DeviceOutput::DeviceNames() {
    snd_lib_error_set_handler(&IgnoreAlsa);
    std::vector<std::string> names;
    const auto add = [&names](const std::string& name) {
        if (!name.empty() && name != "default" && name != "sysdefault" && name != "null" &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    // Devices defined in the configuration by name (a sound server, a user's own); those that
    // take arguments are the building blocks of the cards' devices below.
    snd_config_t* pcms = nullptr;
    if (snd_config_update() >= 0 && snd_config &&
        snd_config_search(snd_config, "pcm", &pcms) >= 0) {
        snd_config_iterator_t i, next;
        snd_config_for_each(i, next, pcms) {
            snd_config_t* node = snd_config_iterator_entry(i);
            snd_config_t* args = nullptr;
            const char* id = nullptr;
            if (snd_config_get_type(node) == SND_CONFIG_TYPE_COMPOUND &&
                snd_config_search(node, "@args", &args) < 0 && snd_config_get_id(node, &id) >= 0)
                add(id);
        }
    }
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) >= 0) {
        for (void** h = hints; *h; ++h) {
            char* name = snd_device_name_get_hint(*h, "NAME");
            char* io = snd_device_name_get_hint(*h, "IOID");
            if (name && (!io || std::string(io) == "Output")) add(name);
            std::free(name);
            std::free(io);
        }
        snd_device_name_free_hint(hints);
    }
    return names;
}

std::unique_ptr<DeviceOutput> DeviceOutput::Open(int preferredRate, int frames, int latencyMs,
                                                 std::string* reason, const std::string& device) {
    const std::string name = device.empty() ? "default" : device;
    const std::string called =
        device.empty() ? "the default sound device" : "the sound device \"" + device + "\"";
    // ALSA prints its complaints on a machine without a card; our own line says what matters.
    snd_lib_error_set_handler(&IgnoreAlsa);
    // A sound-server device sends our audio from a thread of its client library, created when
    // the device opens; it inherits the opening thread's scheduling. Open at real-time priority
    // (when allowed) so that thread is not starved on a busy machine, then drop back.
    int policy = SCHED_OTHER;
    sched_param before{};
    pthread_getschedparam(pthread_self(), &policy, &before);
    const bool raised = RequestRealtime() > 0;
    snd_pcm_t* pcm = nullptr;
    snd_config_t* config = nullptr;
    int err = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err == 0 && IsPulsePlugin(pcm)) {
        if (snd_pcm_t* quiet = OpenQuietPulse(&config)) {
            snd_pcm_close(pcm);
            pcm = quiet;
        }
    }
    if (raised) pthread_setschedparam(pthread_self(), policy, &before);
    int rate = preferredRate;
    long buffer = 0;
    const char* what = "";
    if (err < 0) {
        *reason = called + " will not open: " + snd_strerror(err);
    } else if ((err = Configure(pcm, &rate, WritePeriod(frames, latencyMs, rate), latencyMs,
                                &buffer, &what)) < 0) {
        *reason = called + " refuses " + what + ": " + snd_strerror(err);
        snd_pcm_close(pcm);
    }
    if (err < 0) {
        if (config) snd_config_delete(config);
        return nullptr;
    }
    return std::unique_ptr<DeviceOutput>(
        new DeviceOutput(pcm, config, rate, frames, WritePeriod(frames, latencyMs, rate), buffer));
}

DeviceOutput::DeviceOutput(snd_pcm_t* pcm, snd_config_t* config, int rate, int frames, int period,
                           long bufferFrames)
    : FallibleOutput(rate, frames, 1000.0 * static_cast<double>(bufferFrames) / rate), pcm_(pcm),
      config_(config), period_(period), bufferFrames_(bufferFrames) {}

DeviceOutput::~DeviceOutput() {
    if (watchdog_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(watchMutex_);
            watchQuit_ = true;
        }
        watchCv_.notify_all();
        watchdog_.join();
    }
    quit_.store(true, std::memory_order_seq_cst);
    { std::lock_guard<std::mutex> lock(restMutex_); }
    restCv_.notify_all();
    if (audio_.joinable()) audio_.join();
    StopFallback();
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    if (config_) snd_config_delete(config_);
}

void DeviceOutput::Start(Mixer& mixer, std::function<bool()> playing) {
    mixer_ = &mixer;
    playing_ = std::move(playing);
    audio_ = std::thread([this] { Run(); });
    watchdog_ = std::thread([this] { Watch(); });
}

void DeviceOutput::Wake() {
    wakes_.fetch_add(1, std::memory_order_seq_cst);
    if (!resting_.load(std::memory_order_seq_cst)) return;
    {
        // Taken so that the notification cannot fall between the audio thread's last look and
        // its sleep.
        std::lock_guard<std::mutex> lock(restMutex_);
    }
    restCv_.notify_one();
}

bool DeviceOutput::Rest(uint64_t seen) {
    const auto woken = [&] {
        return quit_.load(std::memory_order_seq_cst) ||
               wakes_.load(std::memory_order_seq_cst) != seen || (playing_ && playing_()) ||
               mixer_->Tap().Armed();
    };
    std::unique_lock<std::mutex> lock(restMutex_);
    resting_.store(true, std::memory_order_seq_cst);
    // Let the device play out most of the silence it holds first, so that a Play from the rest
    // is not queued behind all of it; two writes' worth stay, time enough for the pause to land
    // before the device runs dry.
    snd_pcm_sframes_t held = 0;
    if (snd_pcm_delay(pcm_, &held) == 0 && held > 2 * period_) {
        const auto drain =
            std::chrono::duration<double>(static_cast<double>(held - 2 * period_) / rate_);
        restCv_.wait_for(lock, drain, woken);
    }
    const bool paused = !woken() && snd_pcm_pause(pcm_, 1) == 0;
    while (!woken())
        restCv_.wait_for(lock, kRestPoll);
    if (paused) snd_pcm_pause(pcm_, 0);
    resting_.store(false, std::memory_order_seq_cst);
    return !quit_.load(std::memory_order_seq_cst);
}

bool DeviceOutput::RenderOne(float* buffer) {
    rendering_.store(true, std::memory_order_seq_cst);
    if (abandoned_.load(std::memory_order_seq_cst)) {
        rendering_.store(false, std::memory_order_release);
        return false;
    }
    mixer_->Render(buffer, period_, /*offline=*/false);
    rendering_.store(false, std::memory_order_release);
    const auto write = [&] {
        return snd_pcm_writei(pcm_, buffer, static_cast<snd_pcm_uframes_t>(period_));
    };
    snd_pcm_sframes_t written = write();
    if (written == -EAGAIN && snd_pcm_wait(pcm_, kWaitMs) >= 0) written = write();
    if (written < 0 && written != -EAGAIN)
        written = snd_pcm_recover(pcm_, static_cast<int>(written), 1);
    return written >= 0 || written == -EAGAIN; // a full device drops this one buffer
}

void DeviceOutput::Run() {
    realtime_.store(RequestRealtime(), std::memory_order_release);
    std::vector<float> buffer(static_cast<size_t>(period_) * 2);
    auto started = Clock::now();
    uint64_t taken = 0;
    const int restAfter = static_cast<int>(RestAfter() * rate_ / period_) + 1;
    int silentBuffers = 0;
    while (!quit_.load(std::memory_order_acquire) && !abandoned_.load(std::memory_order_acquire)) {
        snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
        if (avail < 0) {
            if (snd_pcm_recover(pcm_, static_cast<int>(avail), 1) < 0) break;
            continue;
        }
        if (avail < period_) {
            if (snd_pcm_wait(pcm_, kWaitMs) < 0 && snd_pcm_avail_update(pcm_) < 0 &&
                snd_pcm_recover(pcm_, -EPIPE, 1) < 0)
                break;
            continue;
        }
        // The device ran dry (the machine stalled us longer than its buffer): skip what it
        // played meanwhile and go on from where it plays now.
        const bool late = taken > 0 && avail >= bufferFrames_;
        if (avail > bufferFrames_)
            snd_pcm_forward(pcm_, static_cast<snd_pcm_uframes_t>(avail - bufferFrames_));
        taken += static_cast<uint64_t>(period_);
        const double allowed =
            std::chrono::duration<double>(Clock::now() - started).count() + kMaxAheadSeconds;
        if (static_cast<double>(taken) > allowed * rate_) {
            // Faster than real time: stop feeding it before the songs race to their ends.
            clockless_.store(true, std::memory_order_release);
            break;
        }
        const uint64_t commands =
            wakes_.load(std::memory_order_seq_cst); // before the mixer takes them
        const auto start = Clock::now();
        if (!RenderOne(buffer.data())) {
            if (abandoned_.load(std::memory_order_acquire)) return;
            break;
        }
        stats_.Record(std::chrono::duration<double, std::micro>(Clock::now() - start).count(),
                      late);
        buffers_.fetch_add(1, std::memory_order_release);
        const bool quiet = !(playing_ && playing_()) && !mixer_->Tap().Armed() &&
                           Silent(buffer.data(), 2 * period_);
        silentBuffers = quiet ? silentBuffers + 1 : 0;
        if (silentBuffers >= restAfter) {
            if (!Rest(commands)) break;
            // The device stood paused meanwhile: its clock check starts again from here.
            silentBuffers = 0;
            started = Clock::now();
            taken = 0;
        }
    }
    if (!quit_.load(std::memory_order_acquire) && !clockless_.load(std::memory_order_acquire))
        failed_.store(true, std::memory_order_release);
    watchCv_.notify_all();
}

void DeviceOutput::Watch() {
    uint64_t seen = buffers_.load(std::memory_order_acquire);
    auto lastProgress = Clock::now();
    bool told = false;
    std::unique_lock<std::mutex> lock(watchMutex_);
    while (!watchQuit_) {
        watchCv_.wait_for(lock, std::chrono::milliseconds(100));
        if (watchQuit_) return;
        const int realtime = realtime_.load(std::memory_order_acquire);
        if (!told && realtime != kRealtimeUnknown) {
            told = true;
            ReportRealtime("audio", realtime, 1000.0 * static_cast<double>(bufferFrames_) / rate_);
        }
        const uint64_t now = buffers_.load(std::memory_order_acquire);
        const auto t = Clock::now();
        if (now != seen || resting_.load(std::memory_order_acquire)) {
            seen = now;
            lastProgress = t;
        }
        const bool clockless = clockless_.load(std::memory_order_acquire);
        const bool failed = failed_.load(std::memory_order_acquire);
        if (!failed && !clockless && t - lastProgress < kSilentDeath) continue;
        // The device is gone or useless: stop the audio thread from touching the mixer (and
        // wait out a buffer it may be mixing), then clock the mixer ourselves.
        abandoned_.store(true, std::memory_order_seq_cst);
        while (rendering_.load(std::memory_order_seq_cst))
            std::this_thread::yield();
        std::fprintf(stderr, "spinx: the sound output %s; continuing without sound\n",
                     clockless ? "does not keep real time (a null device?)"
                     : failed  ? "failed"
                               : "stopped (it takes no more audio)");
        FallBack(*mixer_);
        return;
    }
}

} // namespace spinx::engine
