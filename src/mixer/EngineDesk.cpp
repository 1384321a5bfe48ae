#include "mixer/EngineDesk.h"

#include "deck/SongSettings.h"
#include "engine/Aspinx.h"
#include "engine/analysis/Loudness.h"
#include "library/Database.h"
#include "library/EqText.h"
#include "library/SongTable.h"
#include "mixer/CrossfadeLaw.h"
#include "mixer/LoudnessScan.h"

#include <QObject>

namespace spinx {

EngineDesk::EngineDesk(Aspinx& engine, int32_t overlap) : engine_(engine), overlap_(overlap) {
    QObject::connect(&engine_, &Aspinx::SoundLoaded, &engine_,
                     [this](int16_t player, int16_t) { Loaded(player); });
    QObject::connect(&engine_, &Aspinx::SoundLoadFailed, &engine_,
                     [this](int16_t player, const QString& path, const QString& reason) {
                         LoadFailed(player, path, reason);
                     });
    QObject::connect(&engine_, &Aspinx::SoundDone, &engine_, [this](int16_t player) {
        if (HasDeck(player)) decks_[player].ended = true;
        auto_.SoundDone(player);
    });
}

void EngineDesk::Tick() {
    if (fadeTarget_ >= 0) {
        const int step = FadeStep(crossfader_, fadeTarget_ == 0, fadeTarget_ == 100);
        if (step == 0) {
            fadeTarget_ = -1;
        } else {
            crossfader_ += step;
            ApplyCrossfader();
        }
    }
    auto_.Tick();
}

bool EngineDesk::Finished() const {
    if (!playlist_.empty()) return false;
    for (int16_t p = 0; p < 2; ++p)
        if (engine_.GetPlayerStatus(p) == kPlaying) return false;
    return true;
}

bool EngineDesk::TakeLoadRequested() {
    const bool requested = loadRequested_;
    loadRequested_ = false;
    return requested;
}

bool EngineDesk::OverviewPending() const {
    for (int16_t p = 0; p < 2; ++p)
        if (!decks_[p].path.empty() && engine_.GetPlayerStatus(p) == kPlaying &&
            !engine_.GetWaveform(p))
            return true;
    return false;
}

std::string EngineDesk::Song(int16_t player) const {
    return HasDeck(player) ? decks_[player].path : std::string();
}

DeckReading EngineDesk::Read(int16_t player) const {
    DeckReading reading;
    reading.status = engine_.GetPlayerStatus(player);
    reading.position = engine_.GetSoundPosition(player);
    reading.length = engine_.GetSoundDuration(player);
    if (!HasDeck(player)) return reading;
    const Deck& deck = decks_[player];
    reading.endPos = deck.end;
    edges_.Fill(engine_, player, {deck.start, deck.end, overlap_}, reading);
    return reading;
}

std::string EngineDesk::TakeTopRow() {
    if (playlist_.empty()) return {};
    std::string path = std::move(playlist_.front());
    playlist_.pop_front();
    return path;
}

void EngineDesk::Load(int16_t player, const std::string& path) {
    if (!HasDeck(player)) return;
    Deck& deck = decks_[player];
    deck = {};
    deck.path = path;
    deck.end = overlap_;
    std::optional<RecalledSong> song;
    if (SongDbIsOpen()) {
        try {
            song = RecallSong(path, overlap_);
        } catch (const DbError&) {
            // The song plays with what a new song gets.
        }
    }
    EqGains curve{};
    if (song) {
        deck.volumeSlider = song->volume;
        deck.start = song->start;
        deck.end = song->end;
        DecodeEq(song->eq, curve);
        engine_.SetPitch(player, static_cast<int16_t>(song->pitch));
    } else {
        engine_.SetPitch(player, 1000);
    }
    engine_.SetEqualizer(player, true, curve);
    engine_.SetLevelTrim(player, levelling_ ? LevellingTrim(path) : 0.0);
    engine_.LoadSound(player, path);
    loadRequested_ = true;
}

void EngineDesk::Loaded(int16_t player) {
    if (HasDeck(player) && decks_[player].start > 0)
        engine_.SeekSound(player, decks_[player].start);
    ApplyCrossfader();
}

void EngineDesk::SetLevelling(bool on, double targetLufs) {
    levelling_ = on;
    targetLufs_ = targetLufs;
}

double EngineDesk::LevellingTrim(const std::string& path) const {
    std::optional<double> loudness = RememberedLoudness(path);
    if (!loudness) loudness = engine::MeasureLoudness(path);
    return engine::LevellingGainDb(loudness, targetLufs_);
}

void EngineDesk::LoadFailed(int16_t player, const QString&, const QString& reason) {
    // Compared as bytes: a name that is not UTF-8 does not survive the shown text.
    if (!HasDeck(player) || engine_.SongPath(player) != decks_[player].path) return;
    const std::string failed = std::move(decks_[player].path);
    decks_[player].path.clear();
    if (onSkipped_) onSkipped_(failed, reason.toStdString());
    auto_.SoundLoadFailed(player, failed);
}

void EngineDesk::Start(int16_t player) {
    if (HasDeck(player) && !decks_[player].ended && engine_.GetPlayerStatus(player) != kPlaying)
        engine_.PlaySound(player);
}

void EngineDesk::Seek(int16_t player, int32_t positionMs) {
    engine_.SeekSound(player, positionMs);
}

void EngineDesk::ApplyCrossfader() {
    engine_.SetVolume(0, CrossfadeVolume(100 - crossfader_, decks_[0].volumeSlider));
    engine_.SetVolume(1, CrossfadeVolume(crossfader_, decks_[1].volumeSlider));
}

void EngineDesk::FadeTo(int16_t end) {
    if (end == 1 || end == 2) fadeTarget_ = end == 1 ? 0 : 100;
}

} // namespace spinx
