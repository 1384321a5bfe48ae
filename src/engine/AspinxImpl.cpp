#include "engine/AspinxImpl.h"

#include "engine/GainLaw.h"
#include "engine/loader/PlayerWorker.h"
#include "engine/output/DeviceOutput.h"
#include "engine/output/HeadphoneOutput.h"
#include "engine/output/NullOutput.h"
#include "engine/output/OutputKeeper.h"
#include "engine/output/PulseOutput.h"
#include "engine/realtime/Mixer.h"
#include "engine/record/Recorder.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace spinx {

using namespace engine;

namespace {
constexpr int kPreferredRate = 44100;
constexpr int kBufferFrames = 256;

// The device `name`, not started. The default one is the desktop's: its sound server, spoken
// to directly, when one answers (whether or not it ran when the program started: ALSA makes the
// server its default only when it was running then), else ALSA's default device. A named
// device is always ALSA's, so a choice made in the device list is what plays.
std::unique_ptr<AudioOutput> OpenDevice(int rate, int latencyMs, const std::string& name,
                                        std::string* reason) {
    if (name.empty()) {
        std::string serverReason;
        if (auto server = PulseOutput::Open(rate, kBufferFrames, latencyMs, &serverReason))
            return server;
    }
    return DeviceOutput::Open(rate, kBufferFrames, latencyMs, reason, name);
}

std::string DeviceCalled(const std::string& name) {
    return name.empty() ? "the default device" : name;
}

QString Clock(int32_t ms) {
    const int32_t s = std::max(0, ms) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

AspinxImpl::AspinxImpl(OutputKind output, int latencyMs)
    : latencyMs_(latencyMs), requested_(output) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    StartOutput(output);
    for (int p = 0; p < Aspinx::kPlayers; ++p)
        workers_[p] = std::make_unique<PlayerWorker>(p, channels_[p], mixer_->EventSeq(), wakeFd_);
    recorder_ = std::make_unique<engine::Recorder>(mixer_->Tap(), mixer_->SampleRate());
}

AspinxImpl::~AspinxImpl() {
    Shutdown();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool AspinxImpl::Shutdown() {
    recorder_.reset();   // finalise a recording while the mix still exists
    output_.reset();     // stop the audio thread before what it reads goes away
    headphones_.reset(); // and the headphones' device before its ring goes
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    bool all = true;
    for (auto& w : workers_) {
        if (!w) continue;
        if (w->Stop(deadline))
            w.reset();
        else
            all = false;
    }
    return all;
}

void AspinxImpl::StartOutput(OutputKind kind) {
    mixer_ = std::make_unique<Mixer>(channels_, kPreferredRate);
    if (kind == OutputKind::Default)
        output_ = KeepDevice({}, nullptr);
    else if (kind == OutputKind::Null)
        output_ = std::make_unique<NullOutput>(*mixer_, kPreferredRate, kBufferFrames);
}

std::unique_ptr<engine::OutputKeeper> AspinxImpl::KeepDevice(const std::string& name,
                                                             std::unique_ptr<AudioOutput> opened) {
    const int rate = mixer_->SampleRate(), latencyMs = latencyMs_;
    return std::make_unique<OutputKeeper>(
        *mixer_, kBufferFrames, [this] { return AnyPlaying(); },
        [rate, latencyMs, name](std::string* reason) {
            return OpenDevice(rate, latencyMs, name, reason);
        },
        DeviceCalled(name), std::move(opened));
}

bool AspinxImpl::UseDevice(const std::string& name, std::string* reason) {
    if (requested_ != OutputKind::Default) {
        *reason = "this engine plays without a sound device";
        return false;
    }
    // Closed first: a card may not open twice, and the mixer takes one output at a time. The
    // mixer keeps its rate, so the new device has to play at it. One that will not play now is
    // tried again every second, while the mix goes on in silence.
    output_.reset();
    device_ = name;
    const int rate = mixer_->SampleRate();
    std::unique_ptr<AudioOutput> device = OpenDevice(rate, latencyMs_, name, reason);
    if (device && device->SampleRate() != rate) {
        *reason = DeviceCalled(name) + " does not play at " + std::to_string(rate) + " Hz";
        device.reset();
    }
    const bool playing = device != nullptr;
    output_ = KeepDevice(name, std::move(device));
    return playing;
}

void AspinxImpl::Send(const Command& c) {
    // The queue only fills when the mixer does not run (an offline engine nobody renders);
    // give a running mixer a moment, then drop rather than freeze the UI.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (mixer_->Send(c)) {
            if (output_) output_->Wake();
            return;
        }
        if (!output_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The status changes at once for the UI's getters; the mixer follows at its next buffer (and
// corrects it if the song has ended meanwhile).
void AspinxImpl::SendTransport(int player, Command::Type type, int16_t status) {
    channels_[player].state.status.store(status, std::memory_order_release);
    Command c;
    c.type = type;
    c.player = static_cast<uint8_t>(player);
    Send(c);
}

void AspinxImpl::ApplyGains(int player) {
    const float v = FaderGain(ui_[player].volume) * ui_[player].trim;
    const StereoGain b = BalanceGain(ui_[player].balance);
    channels_[player].controls.gainLeft.store(v * b.left, std::memory_order_relaxed);
    channels_[player].controls.gainRight.store(v * b.right, std::memory_order_relaxed);
    // Pre-fader: the levelling trim still applies, so cued songs sound as even as played ones.
    channels_[player].controls.cueGain.store(ui_[player].cue ? ui_[player].trim : 0.0f,
                                             std::memory_order_relaxed);
}

void AspinxImpl::SetCue(int player, bool on) {
    ui_[player].cue = on;
    ApplyGains(player);
}

void AspinxImpl::SetCueMix(int mix) {
    cueMix_ = std::clamp(mix, 0, 100);
    mixer_->SetCueMix(CueMixLaw(cueMix_));
}

void AspinxImpl::SetHeadphoneVolume(int volume) {
    headphoneVolume_ = std::clamp(volume, 0, 100);
    mixer_->SetHeadphoneGain(FaderGain(headphoneVolume_));
}

bool AspinxImpl::UseHeadphones(const std::string& name, std::string* reason) {
    // The ring has one reader at a time: the old device stops before a new one opens.
    mixer_->SetHeadphoneRoute(HeadphoneRoute::None);
    headphones_.reset();
    headphoneName_.clear();
    if (name.empty()) return true;
    if (name == Aspinx::kSplitHeadphones) {
        mixer_->SetHeadphoneRoute(HeadphoneRoute::Split);
        headphoneName_ = name;
        return true;
    }
    // Half the master's buffer: a glitch in the headphones costs less than one on the master,
    // and the ring between the two devices adds its few milliseconds.
    headphones_ = OpenHeadphones(name, mixer_->SampleRate(), latencyMs_ / 2,
                                 mixer_->HeadphoneFeed(), wakeFd_, reason);
    if (!headphones_) return false;
    mixer_->SetHeadphoneRoute(HeadphoneRoute::Ring);
    headphoneName_ = name;
    return true;
}

double AspinxImpl::HeadphoneLatencyMs() const {
    return headphones_ ? headphones_->LatencyMs() : 0.0;
}

bool AspinxImpl::TakeHeadphoneLoss(std::string* device, std::string* why) {
    if (!headphones_ || !headphones_->Lost()) return false;
    *device = headphoneName_;
    *why = headphones_->Why();
    mixer_->SetHeadphoneRoute(HeadphoneRoute::None);
    headphones_.reset();
    headphoneName_.clear();
    return true;
}

void AspinxImpl::SetBalance(int player, int balance) {
    ui_[player].balance = std::clamp(balance, 0, 100);
    ApplyGains(player);
}

void AspinxImpl::SetVolume(int player, int volume) {
    ui_[player].volume = std::clamp(volume, 0, 100);
    ApplyGains(player);
}

void AspinxImpl::SetMasterVolume(int volume) {
    master_ = std::clamp(volume, 0, 100);
    mixer_->SetMasterGain(FaderGain(master_));
}

void AspinxImpl::SetLimiter(bool on) {
    mixer_->SetLimiterEnabled(on);
}

void AspinxImpl::SetLevelTrim(int player, double db) {
    ui_[player].trim = static_cast<float>(std::pow(10.0, std::clamp(db, -60.0, 20.0) / 20.0));
    ApplyGains(player);
}

void AspinxImpl::SetKeyLock(int player, bool on) {
    channels_[player].controls.keyLock.store(on, std::memory_order_relaxed);
    if (on) channels_[player].signal.Wake(); // the worker makes the stretcher the first time
}

bool AspinxImpl::KeyLock(int player) const {
    return channels_[player].controls.keyLock.load(std::memory_order_relaxed);
}

void AspinxImpl::SetBassCut(int player, bool cut) {
    channels_[player].controls.bassCut.store(cut, std::memory_order_relaxed);
}

bool AspinxImpl::BassCut(int player) const {
    return channels_[player].controls.bassCut.load(std::memory_order_relaxed);
}

void AspinxImpl::SetPitch(int player, int pitch) {
    pitch = std::clamp(pitch, 1, 2000);
    channels_[player].controls.speed.store(pitch / 1000.0, std::memory_order_relaxed);
}

void AspinxImpl::SetEqualizer(int player, bool enabled, const EqGains& gains) {
    PlayerControls& c = channels_[player].controls;
    for (int b = 0; b < 10; ++b)
        c.eqDb[b].store(enabled ? EqValueToDb(gains[b]) : 0.0f, std::memory_order_relaxed);
}

void AspinxImpl::Load(int player, const std::string& path) {
    UiPlayer& u = ui_[player];
    u.gen++;
    u.loadGen = u.gen;
    u.loadPending = true;
    u.loaded = false;
    u.seekAfterLoadMs = -1;
    u.path = path;
    PlayerState& st = channels_[player].state;
    st.status.store(kStatusStopped, std::memory_order_release);
    st.position.store(PackPosition(u.gen, 0), std::memory_order_release);
    Command c;
    c.type = Command::Load;
    c.player = static_cast<uint8_t>(player);
    c.gen = u.gen;
    Send(c);
    workers_[player]->RequestLoad(u.gen, path);
}

void AspinxImpl::Play(int player) {
    const UiPlayer& u = ui_[player];
    if (!u.loaded && !u.loadPending) return;
    SendTransport(player, Command::Play, kStatusPlaying);
}

void AspinxImpl::Pause(int player) {
    PlayerState& st = channels_[player].state;
    if (st.status.load(std::memory_order_acquire) != kStatusPlaying) return;
    SendTransport(player, Command::Pause, kStatusPaused);
}

void AspinxImpl::Stop(int player) {
    PlayerState& st = channels_[player].state;
    if (st.status.load(std::memory_order_acquire) == kStatusStopped) return;
    SendTransport(player, Command::Stop, kStatusStopped);
}

void AspinxImpl::Seek(int player, int32_t ms) {
    UiPlayer& u = ui_[player];
    if (u.loadPending) {
        u.seekAfterLoadMs = std::max(0, ms);
        return;
    }
    if (!u.loaded) return;
    const PlayerState& st = channels_[player].state;
    const int rate = st.rate.load(std::memory_order_acquire);
    const int64_t length = st.lengthFrames.load(std::memory_order_acquire);
    const int64_t frame = std::clamp<int64_t>(MsToFrames(std::max(0, ms), rate), 0, length);
    u.gen++;
    channels_[player].state.position.store(PackPosition(u.gen, frame), std::memory_order_release);
    Command c;
    c.type = Command::Seek;
    c.player = static_cast<uint8_t>(player);
    c.gen = u.gen;
    c.frame = frame;
    Send(c);
    workers_[player]->RequestSeek(u.gen, frame);
}

int16_t AspinxImpl::Status(int player) const {
    return channels_[player].state.status.load(std::memory_order_acquire);
}

int32_t AspinxImpl::PositionMs(int player) const {
    const UiPlayer& u = ui_[player];
    if (u.loadPending && u.seekAfterLoadMs >= 0) return u.seekAfterLoadMs;
    const PlayerState& st = channels_[player].state;
    return FramesToMs(PositionFrame(st.position.load(std::memory_order_acquire)),
                      st.rate.load(std::memory_order_acquire));
}

int32_t AspinxImpl::DurationMs(int player) const {
    const PlayerState& st = channels_[player].state;
    return FramesToMs(st.lengthFrames.load(std::memory_order_acquire),
                      st.rate.load(std::memory_order_acquire));
}

QString AspinxImpl::PositionText(int player) const {
    return Clock(PositionMs(player)) + QStringLiteral(" / ") + Clock(DurationMs(player));
}

void AspinxImpl::SetMeter(int player, bool on) {
    channels_[player].controls.meterOn.store(on, std::memory_order_relaxed);
}

std::shared_ptr<const Waveform> AspinxImpl::GetWaveform(int player) const {
    // Until the worker takes a new load it still holds the last song's overview, which must
    // not pass for the new song's (auto play would skip a lead-in that is not there).
    if (ui_[player].loadPending) return nullptr;
    return workers_[player]->GetWaveform();
}

int AspinxImpl::CopyRecentOutput(int player, float* dst, int frames) const {
    return channels_[player].recent.Copy(dst, frames, mixer_->OutputLead());
}

int AspinxImpl::SampleRate() const {
    return mixer_->SampleRate();
}

bool AspinxImpl::WaitForOutput(int timeoutMs) const {
    if (auto* keeper = dynamic_cast<const OutputKeeper*>(output_.get()))
        return keeper->WaitFirst(timeoutMs);
    return false;
}

OutputKind AspinxImpl::ActiveOutput() const {
    return output_ ? output_->Kind() : OutputKind::Offline;
}

OutputStats AspinxImpl::GetOutputStats() const {
    return output_ ? output_->Snapshot() : OutputStats{};
}

void AspinxImpl::ResetOutputStats() {
    if (output_) output_->ResetStats();
}

bool AspinxImpl::RenderOffline(float* interleaved, int frames, float* headphones) {
    if (output_ || frames <= 0) return false;
    mixer_->Render(interleaved, frames, /*offline=*/true, headphones);
    return true;
}

bool AspinxImpl::LoadsPending() const {
    for (int p = 0; p < Aspinx::kPlayers; ++p) {
        const bool scanning =
            ui_[p].loaded && !channels_[p].state.lengthExact.load(std::memory_order_acquire);
        if (ui_[p].loadPending || scanning) return true;
    }
    return false;
}

bool AspinxImpl::AnyPlaying() const {
    return std::any_of(channels_.begin(), channels_.end(), [](const PlayerChannel& c) {
        return c.state.status.load(std::memory_order_acquire) == kStatusPlaying;
    });
}

void AspinxImpl::CollectEvents(std::vector<Event>& out) {
    out.clear();
    sortBuffer_.clear();
    // Cleared before the queues are read: an event pushed after this sets it again.
    if (wakeFd_ >= 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
    }
    Event e;
    while (mixer_->PopEvent(e))
        sortBuffer_.push_back(e);
    for (auto& ch : channels_)
        while (ch.workerEvents.Pop(e))
            sortBuffer_.push_back(e);
    std::sort(sortBuffer_.begin(), sortBuffer_.end(),
              [](const Event& a, const Event& b) { return a.seq < b.seq; });
    for (const Event& ev : sortBuffer_) {
        UiPlayer& u = ui_[ev.player];
        if (ev.loadGen != u.loadGen) continue; // about a song since replaced
        if (ev.type == Event::Loaded) {
            u.loadPending = false;
            u.loaded = true;
            if (u.seekAfterLoadMs >= 0) {
                const int32_t ms = u.seekAfterLoadMs;
                u.seekAfterLoadMs = -1;
                Seek(ev.player, ms);
            }
        } else if (ev.type == Event::LoadFailed) {
            u.loadPending = false;
            u.loaded = false;
            u.seekAfterLoadMs = -1;
            Stop(ev.player); // a Play sent while loading
        }
        out.push_back(ev);
    }
}

} // namespace spinx
