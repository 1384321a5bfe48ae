#include "desk/DeckController.h"

#include "deck/SongSettings.h"
#include "library/Database.h"
#include "library/EqText.h"
#include "library/SongTable.h"
#include "mixer/CrossfadeLaw.h"

#include <algorithm>
#include <cmath>

namespace spinx {

DeckController::DeckController(Aspinx& engine, PlayerId id, std::function<int32_t()> overlap,
                               QObject* parent)
    : QObject(parent), engine_(engine), id_(id), overlap_(std::move(overlap)) {
    // The engine starts every player at full volume and no level events: from the first sound
    // the player plays at what the deck shows.
    engine_.EnableLevels(id_, true);
    SendVolume(VolumeFromSlider(volume_.value));
    engine_.SetPitch(id_, static_cast<int16_t>(pitch_.value));
    engine_.SetBalance(id_, static_cast<int16_t>(balance_.value));
    engine_.SetEqualizer(id_, true, curve_);
}

PlayerStatus DeckController::Status() const {
    return engine_.GetPlayerStatus(id_);
}

int32_t DeckController::Position() const {
    return ShownPosition(engine_.GetSoundPosition(id_), Length());
}

int32_t DeckController::Length() const {
    return engine_.GetSoundDuration(id_);
}

QString DeckController::PositionText() const {
    return engine_.PositionText(id_);
}

std::shared_ptr<const Waveform> DeckController::Overview() const {
    return path_.empty() ? nullptr : engine_.GetWaveform(id_);
}

int DeckController::SampleRate() const {
    return engine_.SampleRate();
}

int DeckController::CopyRecentOutput(float* dst, int frames) const {
    return engine_.CopyRecentOutput(id_, dst, frames);
}

void DeckController::Load(const std::string& path, LoadOrigin) {
    if (path.empty()) return;
    path_ = path;
    music_.reset();
    failedPath_.clear();
    loadFailure_.clear();
    ended_ = false;
    loadPending_ = true;
    // What a transition did to the last song is not the next one's.
    HoldKeyLock(false);
    SetBassCut(false);
    engine_.LoadSound(id_, path_);
    // The load stops the player: a deck that was playing shows Play again.
    SetPlayPressed(false);
    emit songChanged();
}

void DeckController::SoundLoaded() {
    loadPending_ = false;
    Recall();
}

void DeckController::Recall() {
    failedPath_.clear();
    loadFailure_.clear();
    const int32_t overlap = overlap_();
    std::optional<RecalledSong> song;
    if (!path_.empty()) WithSongDb([&] { song = RecallSong(path_, overlap); });
    if (song) {
        SetVolume({song->volume});
        SetPitch({song->pitch});
        // A song without a stored curve keeps the one the deck has.
        EqGains curve = curve_;
        DecodeEq(song->eq, curve);
        SetCurve(curve);
    }
    // Without a stored row the song starts at its beginning and fades at the overlap time.
    start_ = song ? song->start : 0;
    engine_.SeekSound(id_, start_);
    maxPos_ = engine_.GetSoundDuration(id_);
    end_ = song ? song->end : overlap;
    SetUnsaved(false);
    emit songChanged();
}

void DeckController::SoundDone() {
    ended_ = true;
    SetPlayPressed(false);
}

void DeckController::SoundLoadFailed(const std::string& path, const QString& reason) {
    // A failure for a song that has since been replaced by another is old news.
    if (path != path_) return;
    loadPending_ = false;
    failedPath_ = path;
    loadFailure_ = reason;
    path_.clear();
    maxPos_ = 0;
    SetPlayPressed(false);
    emit songChanged();
}

void DeckController::PlayPause() {
    if (Status() == PlayerStatus::Playing) {
        engine_.PauseSound(id_);
        SetPlayPressed(false);
        return;
    }
    // A song that has played to its end plays again from its start marker, rather than ending
    // at once where it stopped.
    const int32_t length = Length();
    if (length > 0 && engine_.GetSoundPosition(id_) >= length) engine_.SeekSound(id_, start_);
    ended_ = false;
    engine_.PlaySound(id_);
    // An empty deck has nothing to play.
    SetPlayPressed(!path_.empty());
}

void DeckController::Start() {
    if (Status() != PlayerStatus::Playing) PlayPause();
}

void DeckController::Stop() {
    engine_.StopSound(id_);
    engine_.SeekSound(id_, start_);
    ended_ = false;
    SetPlayPressed(false);
}

void DeckController::Seek(int32_t positionMs) {
    engine_.SeekSound(id_, positionMs);
}

void DeckController::SetMusic(std::optional<MixSong> music) {
    music_ = std::move(music);
    emit songChanged();
}

std::optional<double> DeckController::HeardBpm() const {
    if (!music_ || !music_->steady || music_->bpm <= 0) return std::nullopt;
    return music_->bpm * pitch_.value / 1000.0;
}

void DeckController::SetQuantize(bool on) {
    if (on == quantize_) return;
    quantize_ = on;
    emit settingsChanged();
}

void DeckController::SetKeyLock(bool on) {
    if (on == keyLock_) return;
    keyLock_ = on;
    engine_.SetKeyLock(id_, keyLock_ || keyLockHeld_);
    emit settingsChanged();
}

void DeckController::HoldKeyLock(bool on) {
    keyLockHeld_ = on;
    engine_.SetKeyLock(id_, keyLock_ || keyLockHeld_);
}

void DeckController::SetCue(bool on) {
    if (on == cue_) return;
    cue_ = on;
    engine_.SetCue(id_, on);
    emit settingsChanged();
}

void DeckController::SetBassCut(bool cut) {
    engine_.SetBassCut(id_, cut);
}

int32_t DeckController::NearestBeat(int32_t positionMs) const {
    if (!music_ || !music_->steady || music_->bpm <= 0) return positionMs;
    const double beat = 60000.0 / music_->bpm;
    const double n = std::round((positionMs - music_->downbeatMs) / beat);
    return static_cast<int32_t>(std::lround(music_->downbeatMs + n * beat));
}

void DeckController::SeekFromBar(int32_t positionMs) {
    Seek(quantize_ && Status() == PlayerStatus::Playing ? NearestBeat(positionMs) : positionMs);
}

void DeckController::SendVolume(double volume) {
    const int rounded = static_cast<int>(std::lrint(volume));
    engine_.SetVolume(id_, static_cast<int16_t>(rounded));
    maxVol_ = {rounded};
}

void DeckController::SetVolume(SliderVolume volume) {
    volume.value = std::clamp(volume.value, -100, 100);
    // An unchanged slider sends nothing: the crossfader's share stays in force.
    if (volume == volume_) return;
    volume_ = volume;
    // A move to the volume the player already has is no change worth saving.
    const double engineVolume = VolumeFromSlider(volume.value);
    if (engineVolume != maxVol_.value) unsaved_ = true;
    SendVolume(engineVolume);
    emit settingsChanged();
}

void DeckController::SetPitch(PitchPerMille pitch, bool byUser) {
    pitch.value = std::clamp(pitch.value, 1, 2000);
    if (pitch == pitch_) return;
    pitch_ = pitch;
    engine_.SetPitch(id_, static_cast<int16_t>(pitch.value));
    if (byUser) unsaved_ = true;
    emit settingsChanged();
}

void DeckController::SetBalance(BalancePercent balance) {
    balance.value = std::clamp(balance.value, 0, 100);
    if (balance == balance_) return;
    balance_ = balance;
    engine_.SetBalance(id_, static_cast<int16_t>(balance.value));
    emit settingsChanged();
}

void DeckController::SetCurve(const EqGains& curve) {
    if (curve == curve_) return;
    curve_ = curve;
    engine_.SetEqualizer(id_, true, curve_);
    unsaved_ = true;
    emit settingsChanged();
}

void DeckController::SaveSettings() {
    if (path_.empty()) return;
    bool identified = false;
    const bool stored =
        WithSongDb([&] { identified = StoreSong(path_, volume_.value, pitch_.value, curve_); });
    if (stored && !identified)
        emit problem(QStringLiteral(
            "The settings of this song could not be saved: its file can no longer be read."));
    if (stored && identified) SetUnsaved(false);
}

void DeckController::SetMarker(MarkerCommand command, int32_t atMs) {
    if (path_.empty()) return;
    // A song the table does not know yet gets its row (and its recalled settings) first.
    const bool stored = WithSongDb([&] {
        if (!SongHasRow(path_)) Recall();
    });
    std::optional<int32_t> start, end;
    switch (command) {
    case MarkerCommand::StartHere:
        start = start_ = atMs;
        break;
    case MarkerCommand::EndHere:
        // Every reader takes the end marker as a distance before the song's end.
        end = end_ = EndMarkerFromClick(maxPos_, atMs);
        break;
    case MarkerCommand::Reset:
        start = start_ = 0;
        maxPos_ = Length();
        end = end_ = overlap_();
        break;
    }
    // Without a usable database the markers still serve for this session.
    if (stored) WithSongDb([&] { StoreMarkers(path_, start, end); });
    FollowLength();
    emit songChanged();
}

void DeckController::ApplyCrossfade(int share) {
    SendVolume(CrossfadeVolume(share, volume_.value));
}

void DeckController::SetLevelTrim(double db) {
    engine_.SetLevelTrim(id_, db);
}

void DeckController::Tick() {
    FollowLength();
    warning_ = EndWarningStep(warning_, Status(), Position(), maxPos_, end_);
}

void DeckController::FollowLength() {
    const int32_t length = Length();
    // Only once the engine has the song: a deck whose song is still loading has the last song's
    // length, or none. A long song's length may be corrected after it loaded; the marker rules
    // follow it.
    const bool loaded = maxPos_ > 0 && engine_.SongLoaded(id_);
    if (loaded && length > 0 && length != maxPos_) {
        maxPos_ = length;
        emit songChanged();
    }
    if (const std::optional<int32_t> end =
            loaded ? PulledBackEnd(maxPos_, end_, overlap_()) : std::nullopt) {
        end_ = *end;
        // Only the marker is stored: volume, pitch and curve stay as the user last saved them.
        WithSongDb([&] { StoreMarkers(path_, std::nullopt, end_); });
        emit songChanged();
    }
}

bool DeckController::WithSongDb(const std::function<void()>& work) {
    if (!SongDbIsOpen()) return false;
    try {
        work();
        return true;
    } catch (const DbError& e) {
        emit problem(
            QStringLiteral("The song database could not be used: ") + QString::fromUtf8(e.what()) +
            QStringLiteral("\nThe song plays on; its settings are not remembered this time."));
        return false;
    }
}

void DeckController::SetUnsaved(bool unsaved) {
    if (unsaved == unsaved_) return;
    unsaved_ = unsaved;
    emit settingsChanged();
}

void DeckController::SetPlayPressed(bool pressed) {
    if (pressed == playPressed_) return;
    playPressed_ = pressed;
    emit transportChanged();
}

} // namespace spinx
