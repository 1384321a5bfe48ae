// Aspinx: the engine's Qt face. Every function here runs on the UI thread.
#include "engine/Aspinx.h"

#include "engine/AspinxImpl.h"
#include "engine/EngineTypes.h"
#include "engine/output/DeviceOutput.h"
#include "engine/record/Recorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace spinx {

namespace {
// While a player plays: as often as levels come, on the same 100 ms beat as the decks'
// displays and auto play. Qt lines coarse timers of one interval up, so the meters are drawn
// in the same paint as the times; a beat of its own would double the program's paints.
constexpr int kCollectIntervalMs = 100;
// After the last player stops, its final (zero) level still has to come through.
constexpr int kCollectAfterMs = 300;

int16_t Player(int16_t p) {
    return AspinxImpl::Valid(p) ? p : -1;
}
} // namespace

Aspinx::Aspinx(OutputKind output, QObject* parent, int latencyMs)
    : QObject(parent),
      impl_(std::make_unique<AspinxImpl>(output, latencyMs > 0 ? std::min(latencyMs, kMaxLatencyMs)
                                                               : kDefaultLatencyMs)) {
    // The signals carry int16_t; queued connections need the name registered.
    qRegisterMetaType<int16_t>("int16_t");
    if (!QCoreApplication::instance()) return; // no event loop: the owner calls DeliverEvents
    collect_ = new QTimer(this);
    collect_->setInterval(kCollectIntervalMs);
    connect(collect_, &QTimer::timeout, this, &Aspinx::DeliverEvents);
    if (impl_->WakeFd() >= 0) {
        auto* notifier = new QSocketNotifier(impl_->WakeFd(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &Aspinx::DeliverEvents);
    } else {
        collect_->start(); // no descriptor to wait on: poll all the time
    }
}

void Aspinx::KeepCollecting(bool playing) {
    if (!collect_ || impl_->WakeFd() < 0) return;
    if (playing) {
        sincePlaying_.start();
        if (!collect_->isActive()) collect_->start();
    } else if (collect_->isActive() && sincePlaying_.isValid() &&
               sincePlaying_.elapsed() > kCollectAfterMs) {
        collect_->stop();
    }
}

Aspinx::~Aspinx() {
    // A loader stuck in a system call (a file on a dead network share) must not hold up the
    // program's exit; it still uses the engine's state, so that is left behind, not freed.
    if (!impl_->Shutdown()) {
        std::fprintf(stderr, "spinx: a player's loader does not stop; leaving it behind\n");
        (void)impl_.release();
    }
}

void Aspinx::SetBalance(PlayerId player, int16_t balance) {
    if (Player(player) >= 0) impl_->SetBalance(player, balance);
}

void Aspinx::SetVolume(PlayerId player, int16_t volume) {
    if (Player(player) >= 0) impl_->SetVolume(player, volume);
}

void Aspinx::SetMasterVolume(int16_t volume) {
    impl_->SetMasterVolume(volume);
}

int16_t Aspinx::MasterVolume() const {
    return static_cast<int16_t>(impl_->MasterVolume());
}

void Aspinx::SetKeyLock(PlayerId player, bool on) {
    if (Player(player) >= 0) impl_->SetKeyLock(player, on);
}

bool Aspinx::KeyLock(PlayerId player) const {
    return Player(player) >= 0 && impl_->KeyLock(player);
}

void Aspinx::SetBassCut(PlayerId player, bool cut) {
    if (Player(player) >= 0) impl_->SetBassCut(player, cut);
}

bool Aspinx::BassCut(PlayerId player) const {
    return Player(player) >= 0 && impl_->BassCut(player);
}

void Aspinx::SetPitch(PlayerId player, int16_t pitch) {
    if (Player(player) >= 0) impl_->SetPitch(player, pitch);
}

void Aspinx::SetLevelTrim(PlayerId player, double db) {
    if (Player(player) >= 0) impl_->SetLevelTrim(player, db);
}

void Aspinx::SetEqualizer(PlayerId player, bool enabled, const EqGains& gains) {
    if (Player(player) >= 0) impl_->SetEqualizer(player, enabled, gains);
}

void Aspinx::LoadSound(PlayerId player, const std::string& path) {
    if (Player(player) >= 0) impl_->Load(player, path);
}

void Aspinx::LoadSound(PlayerId player, const QString& path) {
    LoadSound(player, QFile::encodeName(path).toStdString());
}

std::string Aspinx::SongPath(PlayerId player) const {
    return AspinxImpl::Valid(player) ? impl_->PathOf(player) : std::string();
}

void Aspinx::PlaySound(PlayerId player) {
    if (Player(player) >= 0) impl_->Play(player);
    KeepCollecting(impl_->AnyPlaying());
}

void Aspinx::PauseSound(PlayerId player) {
    if (Player(player) >= 0) impl_->Pause(player);
}

void Aspinx::StopSound(PlayerId player) {
    if (Player(player) >= 0) impl_->Stop(player);
}

void Aspinx::SeekSound(PlayerId player, int32_t positionMs) {
    if (Player(player) >= 0) impl_->Seek(player, positionMs);
}

PlayerStatus Aspinx::GetPlayerStatus(PlayerId player) {
    return Player(player) >= 0 ? static_cast<PlayerStatus>(impl_->Status(player))
                               : PlayerStatus::Stopped;
}

int32_t Aspinx::GetSoundPosition(PlayerId player) {
    return Player(player) >= 0 ? impl_->PositionMs(player) : 0;
}

int32_t Aspinx::GetSoundDuration(PlayerId player) {
    return Player(player) >= 0 ? impl_->DurationMs(player) : 0;
}

bool Aspinx::SongLoaded(PlayerId player) const {
    return AspinxImpl::Valid(player) && impl_->SongLoaded(player);
}

// The deck caption's time: "elapsed / total" with (false, true); `a` shows the remaining time
// ("-m:ss") instead of the elapsed time, `b` appends the total.
QString Aspinx::PositionText(PlayerId player) const {
    return Player(player) >= 0 ? impl_->PositionText(player) : QString();
}

void Aspinx::EnableLevels(PlayerId player, bool on) {
    if (Player(player) >= 0) impl_->SetMeter(player, on);
}

std::shared_ptr<const Waveform> Aspinx::GetWaveform(PlayerId player) const {
    return Player(player) >= 0 ? impl_->GetWaveform(player) : nullptr;
}

int Aspinx::CopyRecentOutput(PlayerId player, float* dst, int frames) const {
    return Player(player) >= 0 ? impl_->CopyRecentOutput(player, dst, frames) : 0;
}

int Aspinx::SampleRate() const {
    return impl_->SampleRate();
}
OutputKind Aspinx::ActiveOutput() const {
    return impl_->ActiveOutput();
}
bool Aspinx::WaitForOutput(int timeoutMs) const {
    return impl_->WaitForOutput(timeoutMs);
}
QStringList Aspinx::OutputDevices() {
    QStringList names;
    for (const std::string& name : engine::DeviceOutput::DeviceNames())
        names << QString::fromStdString(name);
    return names;
}
bool Aspinx::SetOutputDevice(const QString& name, QString* reason) {
    std::string why;
    const bool playing = impl_->UseDevice(name.toStdString(), &why);
    if (!playing && reason) *reason = QString::fromStdString(why);
    return playing;
}
QString Aspinx::OutputDevice() const {
    return QString::fromStdString(impl_->DeviceName());
}
OutputStats Aspinx::GetOutputStats() const {
    return impl_->GetOutputStats();
}
void Aspinx::ResetOutputStats() {
    impl_->ResetOutputStats();
}

bool Aspinx::StartRecording(const QString& path, QString* reason) {
    std::string why;
    const bool ok = impl_->MixRecorder().Start(QFile::encodeName(path).toStdString(), &why);
    if (!ok && reason) *reason = QString::fromStdString(why);
    return ok;
}

bool Aspinx::StopRecording(QString* reason) {
    std::string why;
    const bool ok = impl_->MixRecorder().Stop(&why);
    if (!ok && reason) *reason = QString::fromStdString(why);
    return ok;
}

bool Aspinx::IsRecording() const {
    return impl_->MixRecorder().Recording();
}

bool Aspinx::RecordingFailed() const {
    return impl_->MixRecorder().Failed();
}

int64_t Aspinx::RecordedFrames() const {
    return impl_->MixRecorder().FramesWritten();
}

uint64_t Aspinx::RecordingDroppedFrames() const {
    return impl_->MixRecorder().DroppedFrames();
}

void Aspinx::SetCue(PlayerId player, bool on) {
    if (Player(player) >= 0) impl_->SetCue(player, on);
}

bool Aspinx::IsCued(PlayerId player) const {
    return AspinxImpl::Valid(player) && impl_->Cued(player);
}

void Aspinx::SetCueMix(int mix) {
    impl_->SetCueMix(mix);
}

int Aspinx::CueMix() const {
    return impl_->CueMix();
}

void Aspinx::SetHeadphoneVolume(int volume) {
    impl_->SetHeadphoneVolume(volume);
}

int Aspinx::HeadphoneVolume() const {
    return impl_->HeadphoneVolume();
}

bool Aspinx::SetHeadphoneOutput(const QString& device, QString* reason) {
    std::string why;
    if (impl_->UseHeadphones(device.toStdString(), &why)) return true;
    const QString sentence = QString::fromStdString(why);
    if (reason) *reason = sentence;
    emit HeadphoneOutputFailed(device, sentence);
    return false;
}

QString Aspinx::HeadphoneOutput() const {
    return QString::fromStdString(impl_->HeadphoneName());
}

double Aspinx::HeadphoneLatencyMs() const {
    return impl_->HeadphoneLatencyMs();
}

void Aspinx::RenderOffline(float* interleaved, int frames, float* headphones) {
    if (impl_->RenderOffline(interleaved, frames, headphones)) DeliverEvents();
}

void Aspinx::DeliverEvents() {
    std::vector<engine::Event> events;
    impl_->CollectEvents(events);
    KeepCollecting(impl_->AnyPlaying());
    std::string device, why;
    if (impl_->TakeHeadphoneLoss(&device, &why))
        emit HeadphoneOutputFailed(QString::fromStdString(device), QString::fromStdString(why));
    for (const engine::Event& e : events) {
        const int16_t p = e.player;
        switch (e.type) {
        case engine::Event::Done:
            emit SoundDone(p);
            break;
        case engine::Event::Loaded:
            emit SoundLoaded(p, 0);
            break;
        case engine::Event::LoadFailed:
            emit SoundLoadFailed(p, QString::fromStdString(impl_->PathOf(p)),
                                 QString::fromUtf8(e.reason));
            break;
        case engine::Event::Level:
            emit VUMeterValueChange(p, e.left, e.right);
            break;
        case engine::Event::WaveformReady:
            emit WaveformReady(p);
            break;
        }
    }
}

bool Aspinx::WaitIdle(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        DeliverEvents();
        if (!impl_->LoadsPending()) return true;
        if (clock.elapsed() >= timeoutMs) return false;
        QThread::msleep(1);
    }
}

} // namespace spinx
