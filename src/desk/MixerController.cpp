#include "desk/MixerController.h"

#include "deck/SongSettings.h"
#include "engine/analysis/BackgroundScan.h"
#include "engine/analysis/Loudness.h"
#include "engine/analysis/MusicAnalysis.h"
#include "library/Database.h"
#include "library/SongRows.h"
#include "library/SongTable.h"
#include "mp3/Mod_MP3HeaderTag.h"
#include "support/Mod_Diskinfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace spinx {

MixerController::MixerController(Aspinx& engine, QObject* parent)
    : QObject(parent), engine_(engine), targetLufs_(engine::kDefaultTargetLufs) {
    for (PlayerId p = 0; p < Aspinx::kPlayers; ++p)
        decks_[static_cast<size_t>(p)] =
            std::make_unique<DeckController>(engine_, p, [this] { return overlap_; });
    for (const auto& deck : decks_)
        connect(deck.get(), &DeckController::problem, this, &MixerController::problem);

    connect(&engine_, &Aspinx::SoundLoaded, this, [this](PlayerId player, int16_t) {
        if (!ValidPlayer(player)) return;
        Deck(player).SoundLoaded();
        if (const auto known = music_.find(Deck(player).Filename()); known != music_.end())
            Deck(player).SetMusic(known->second);
        else
            LearnMusic(Deck(player).Filename());
        LevelDeck(player);
    });
    connect(&engine_, &Aspinx::SoundDone, this, [this](PlayerId player) {
        if (!ValidPlayer(player)) return;
        Deck(player).SoundDone();
        autoPlay_.SoundDone(player);
    });
    connect(&engine_, &Aspinx::SoundLoadFailed, this,
            [this](PlayerId player, const QString& shown, const QString& reason) {
                if (!ValidPlayer(player)) return;
                // The deck compares bytes: a name that is not UTF-8 does not survive the
                // shown text, which only tells a report about another song apart.
                const std::string path = engine_.SongPath(player);
                if (shown != QString::fromStdString(path)) return;
                Deck(player).SoundLoadFailed(path, reason);
                // A song that auto play loaded must not end an unattended set, nor vanish
                // unnoticed.
                if (autoPlay_.SoundLoadFailed(player, path)) emit songSkipped(path, reason);
            });
    connect(&engine_, &Aspinx::VUMeterValueChange, this,
            [this](PlayerId player, int16_t left, int16_t right) {
                if (ValidPlayer(player)) Deck(player).LevelsChanged(left, right);
            });
    connect(&engine_, &Aspinx::WaveformReady, this, [this](PlayerId player) {
        if (ValidPlayer(player)) Deck(player).OverviewReady();
    });
    loudnessScan_ = std::make_unique<engine::BackgroundScan>(
        *this, [this](const std::string& path, const std::atomic<bool>&) {
            double peakDb = 0;
            const std::optional<double> lufs =
                engine::MeasureLoudness(path, nullptr, engine::LoudnessPass::Fast, &peakDb);
            std::optional<SongLevel> level;
            if (lufs) level = SongLevel{*lufs, peakDb};
            return std::function<void()>([this, path, level] { LoudnessMeasured(path, level); });
        });
    musicScan_ = std::make_unique<engine::BackgroundScan>(
        *this, [this](const std::string& path, const std::atomic<bool>& cancel) {
            const std::optional<engine::MusicAnalysis> music =
                engine::AnalyseMusicFile(path, nullptr, &cancel);
            if (cancel) return std::function<void()>();
            return std::function<void()>([this, path, music] { MusicHeard(path, music); });
        });
    playlistScan_ = std::make_unique<engine::BackgroundScan>(
        *this, [this](const std::string& path, const std::atomic<bool>& cancel) {
            const std::optional<engine::MusicAnalysis> music =
                engine::AnalyseMusicFile(path, nullptr, &playlistYield_);
            if (cancel) return std::function<void()>();
            const bool abandoned = !music && playlistYield_;
            return std::function<void()>(
                [this, path, music, abandoned] { PlaylistMusicHeard(path, music, abandoned); });
        });
    playlistRetry_ = new QTimer(this);
    playlistRetry_->setSingleShot(true);
    playlistRetry_->setInterval(100);
    connect(playlistRetry_, &QTimer::timeout, this, [this] { FeedPlaylistMusic(); });
    // The pair plays at its crossfader shares from the first sound, not from the first move.
    ApplyCrossfader();
}

MixerController::~MixerController() {
    // Their reports come to this object. The playlist's analysis watches its own flag.
    playlistYield_ = true;
    playlistScan_.reset();
    musicScan_.reset();
    loudnessScan_.reset();
}

namespace {
// The song's loudness in LUFS as the song table keeps it; nothing when it has not been
// measured, the song has no row, or there is no song database to ask.
std::optional<SongLevel> RememberedLoudness(const std::string& path) {
    if (!SongDbIsOpen()) return std::nullopt;
    try {
        return StoredLoudness(path);
    } catch (const DbError&) {
        return std::nullopt; // measured again, which costs only time
    }
}
} // namespace

namespace {
// The song's analysis kept in its row by this analyser; nothing when there is none to use.
std::optional<StoredMusic> RememberedMusic(const std::string& path) {
    if (!SongDbIsOpen()) return std::nullopt;
    try {
        std::optional<StoredMusic> stored = StoredSongMusic(path);
        if (stored && stored->version == MixerController::kMusicAnalyserVersion) return stored;
    } catch (const DbError&) {
        // Listened to again, which costs only time.
    }
    return std::nullopt;
}

// Keeps what was heard in the song's row. A playlist song never loaded has no row yet: it gets
// one, with what a first load gives a new row, so that it is not listened to again.
void KeepMusic(const std::string& path, const StoredMusic& stored) {
    if (StoreSongMusic(path, stored)) return;
    Mp3Info info;
    const std::string id = GetMP3ID(path, info);
    if (id.empty()) return;
    SaveSong(id, {{songcol::MP3ID, id},
                  {songcol::Filename, GetBaseName(path)},
                  {songcol::Path, path},
                  {songcol::Volume, 0},
                  {songcol::Pitch, 1000}});
    StoreSongMusic(path, stored);
}

// The key a wheel code ("8A") stands for: 8A is A minor, 8B C major, each step a fifth up.
std::optional<engine::MusicKey> KeyFromWheelCode(const std::string& code) {
    if (code.size() < 2 || (code.back() != 'A' && code.back() != 'B')) return std::nullopt;
    const int number = std::atoi(code.c_str());
    if (number < 1 || number > 12) return std::nullopt;
    const bool minor = code.back() == 'A';
    return engine::MusicKey{((minor ? 9 : 0) + 7 * (number - 8) % 12 + 24) % 12, minor};
}

std::string KeyText(const engine::MusicKey& key) {
    return engine::KeyName(key) + " " + engine::KeyWheelCode(key);
}

MixSong MixSongFrom(const StoredMusic& stored) {
    MixSong song;
    song.steady = stored.bpm.has_value();
    song.bpm = stored.bpm.value_or(0);
    song.downbeatMs = stored.downbeatMs;
    song.mixInMs = stored.mixInMs.value_or(0);
    song.mixOutMs = stored.mixOutMs.value_or(0);
    if (const auto key = KeyFromWheelCode(stored.keyCode)) {
        song.key = KeyText(*key);
        song.keyCode = stored.keyCode;
    }
    return song;
}
} // namespace

MixSong MixSongFrom(const engine::MusicAnalysis& music) {
    MixSong song;
    song.steady = music.grid.tempo == engine::Tempo::Steady && music.grid.bpm > 0;
    song.bpm = music.grid.bpm;
    song.downbeatMs = music.firstDownbeatMs.value_or(music.grid.firstBeatMs);
    if (music.audible.audible) {
        song.audibleStartMs = music.audible.startMs;
        song.audibleEndMs = music.audible.endMs;
    }
    // The music comes in where the analysis heard it start; it goes out at the last bar line in
    // the sound (MixPoints), so that no more than a bar of it is lost.
    song.mixInMs = music.mixInMs;
    if (music.key) {
        song.key = KeyText(*music.key);
        song.keyCode = engine::KeyWheelCode(*music.key);
    }
    return song;
}

void MixerController::MusicHeard(const std::string& path,
                                 const std::optional<engine::MusicAnalysis>& music) {
    deckMusicAsked_.erase(path);
    // A song that cannot be analysed plays as one without a beat.
    SetSongMusic(path, music ? MixSongFrom(*music) : MixSong{});
    if (music && SongDbIsOpen()) {
        StoredMusic stored;
        stored.version = kMusicAnalyserVersion;
        if (music->grid.tempo == engine::Tempo::Steady && music->grid.bpm > 0)
            stored.bpm = music->grid.bpm;
        stored.firstBeatMs = static_cast<int32_t>(std::lround(music->grid.firstBeatMs));
        stored.downbeatMs = static_cast<int32_t>(
            std::lround(music->firstDownbeatMs.value_or(music->grid.firstBeatMs)));
        if (music->key) stored.keyCode = engine::KeyWheelCode(*music->key);
        try {
            KeepMusic(path, stored);
        } catch (const DbError& error) {
            std::fprintf(stderr, "spinx: what was heard in %s cannot be kept: %s\n", path.c_str(),
                         error.what());
        }
    }
    FeedPlaylistMusic();
}

void MixerController::LearnMusic(const std::string& path) {
    if (path.empty() || music_.count(path) || !(beatMix_ || measureEverySong_)) return;
    // A song analysed before by this analyser comes from its row; others are listened to.
    if (const std::optional<StoredMusic> stored = RememberedMusic(path)) {
        SetSongMusic(path, MixSongFrom(*stored));
        return;
    }
    deckMusicAsked_.insert(path);
    // The deck's song comes first: the playlist's gives way at once.
    if (!playlistCurrent_.empty()) playlistYield_ = true;
    musicScan_->Request(path);
}

void MixerController::LearnPlaylistMusic(const std::string& path) {
    // A song asked for twice is skipped the second time, as a known song.
    if (path.empty() || music_.count(path) || path == playlistCurrent_) return;
    playlistMusic_.push_back(path);
    // While the playlist is busy the retry looks again; asking it on every title costs more
    // than the title does.
    if (!playlistRetry_->isActive()) FeedPlaylistMusic();
}

const MixSong* MixerController::KnownMusic(const std::string& path) const {
    const auto known = music_.find(path);
    return known == music_.end() ? nullptr : &known->second;
}

void MixerController::FeedPlaylistMusic() {
    // One song at a time, and none while a deck waits: each report feeds the next.
    if (!playlistCurrent_.empty() || !deckMusicAsked_.empty() || playlistMusic_.empty()) return;
    if (playlistBusy_ && playlistBusy_()) {
        playlistRetry_->start();
        return;
    }
    // Songs found in their rows are taken a few milliseconds' worth per turn of the event loop,
    // so that a long list known from an earlier run does not hold up the windows.
    constexpr qint64 kLookupMsPerTurn = 4;
    QElapsedTimer clock;
    clock.start();
    while (!playlistMusic_.empty()) {
        const std::string path = std::move(playlistMusic_.front());
        playlistMusic_.pop_front();
        if (music_.count(path)) continue;
        if (const std::optional<StoredMusic> stored = RememberedMusic(path)) {
            SetSongMusic(path, MixSongFrom(*stored));
            if (clock.elapsed() >= kLookupMsPerTurn) {
                QTimer::singleShot(0, this, [this] { FeedPlaylistMusic(); });
                return;
            }
            continue;
        }
        // A song that has left the list since it was asked for is not worth a listen; a scan of
        // the list costs far less than one.
        if (!songs_.Contains(path)) continue;
        playlistCurrent_ = path;
        playlistYield_ = false;
        playlistScan_->Request(path);
        return;
    }
}

void MixerController::PlaylistMusicHeard(const std::string& path,
                                         const std::optional<engine::MusicAnalysis>& music,
                                         bool abandoned) {
    playlistCurrent_.clear();
    if (abandoned) {
        // A deck needed the scan; the song is taken up again once the deck's is done.
        playlistMusic_.push_front(path);
        FeedPlaylistMusic();
        return;
    }
    MusicHeard(path, music);
}

void MixerController::SetDeckA(PlayerId player) {
    if (!ValidPlayer(player) || player == deckA_ || player == deckB_) return;
    deckA_ = player;
    emit pairChanged();
}

void MixerController::SetDeckB(PlayerId player) {
    if (!ValidPlayer(player) || player == deckB_ || player == deckA_) return;
    deckB_ = player;
    emit pairChanged();
}

void MixerController::SetCrossfader(CrossfadePosition position) {
    position.value = std::clamp(position.value, 0, 100);
    if (position == crossfader_) return;
    crossfader_ = position;
    ApplyCrossfader();
    emit crossfaderChanged();
}

void MixerController::ApplyCrossfader() {
    Deck(deckA_).ApplyCrossfade(100 - crossfader_.value);
    Deck(deckB_).ApplyCrossfade(crossfader_.value);
}

void MixerController::CentreTo(FadeTarget end) {
    if (end == FadeTarget::None) return;
    if (Gradual()) {
        fadeTarget_ = end;
        emit fadeChanged();
        return;
    }
    if (fadeTarget_ != FadeTarget::None) {
        fadeTarget_ = FadeTarget::None;
        emit fadeChanged();
    }
    SetCrossfader({end == FadeTarget::DeckA ? 0 : 100});
}

void MixerController::SetGradual(bool on) {
    if (on == gradual_) return;
    gradual_ = on;
    emit automationChanged();
}

int MixerController::CueMix() const {
    return engine_.CueMix();
}

void MixerController::SetCueMix(int mix) {
    engine_.SetCueMix(std::clamp(mix, 0, 100));
    emit masterChanged();
}

EngineVolume MixerController::HeadphoneVolume() const {
    return {engine_.HeadphoneVolume()};
}

void MixerController::SetHeadphoneVolume(EngineVolume volume) {
    engine_.SetHeadphoneVolume(std::clamp(volume.value, 0, 100));
    emit masterChanged();
}

EngineVolume MixerController::MasterVolume() const {
    return {engine_.MasterVolume()};
}

void MixerController::SetMasterVolume(EngineVolume volume) {
    engine_.SetMasterVolume(static_cast<int16_t>(std::clamp(volume.value, 0, 100)));
    emit masterChanged();
}

void MixerController::SetOverlap(int32_t ms) {
    ms = std::clamp(ms, 0, kMaxOverlapMs);
    if (ms == overlap_) return;
    overlap_ = ms;
    emit overlapChanged();
}

void MixerController::SetAutoPlay(bool on) {
    autoPlay_.SetEnabled(on);
    emit automationChanged();
}

void MixerController::SetAutoFade(bool on) {
    autoFade_ = on;
    autoPlay_.SetAutoFade(on);
    // Auto Fade moves the crossfader in steps, which only a gradual fade does; it stays on.
    if (on) gradual_ = true;
    emit automationChanged();
}

void MixerController::SetLevelling(bool on) {
    levelling_ = on;
    for (PlayerId p = 0; p < Aspinx::kPlayers; ++p)
        LevelDeck(p);
    emit automationChanged();
}

void MixerController::Tick() {
    for (const auto& deck : decks_)
        deck->Tick();
    if (Gradual() && fadeTarget_ != FadeTarget::None) {
        const int step = FadeStep(crossfader_.value, fadeTarget_ == FadeTarget::DeckA,
                                  fadeTarget_ == FadeTarget::DeckB);
        if (step == 0) {
            fadeTarget_ = FadeTarget::None;
            emit fadeChanged();
        } else {
            SetCrossfader({crossfader_.value + step});
        }
    }
    BeatMixTick();
    autoPlay_.Tick();
}

bool MixerController::Settling() const {
    for (PlayerId p : {deckA_, deckB_}) {
        const DeckController& deck = Deck(p);
        if (deck.LoadPending()) return true;
        if (!deck.Filename().empty() && deck.Status() == PlayerStatus::Playing &&
            !engine_.GetWaveform(p))
            return true;
        if (levelling_ && !deck.Filename().empty() && !loudness_.count(deck.Filename()))
            return true;
        if (beatMix_ && !deck.Filename().empty() && !music_.count(deck.Filename())) return true;
    }
    return false;
}

bool MixerController::Settle(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (Settling()) {
        const int left = timeoutMs - static_cast<int>(clock.elapsed());
        if (left <= 0) return false;
        engine_.WaitIdle(left);
        if (levelling_) loudnessScan_->WaitIdle(left);
        if (beatMix_) musicScan_->WaitIdle(left);
        // The scan's reports are posted to this thread.
        QCoreApplication::sendPostedEvents(this);
        if (Settling()) QThread::msleep(1);
    }
    return true;
}

bool MixerController::Finished() const {
    return songs_.Empty() && Deck(deckA_).Status() != PlayerStatus::Playing &&
           Deck(deckB_).Status() != PlayerStatus::Playing;
}

std::string MixerController::Song(PlayerId player) const {
    return ValidPlayer(player) ? Deck(player).Filename() : std::string();
}

DeckReading MixerController::Read(PlayerId player) const {
    DeckReading reading;
    if (!ValidPlayer(player)) return reading;
    const DeckController& deck = Deck(player);
    reading.status = deck.Status();
    reading.position = engine_.GetSoundPosition(player);
    reading.length = deck.Length();
    reading.endPos = deck.EndPos();
    edges_.Fill(engine_, player, {deck.StartPos(), deck.EndPos(), overlap_}, reading);
    return reading;
}

bool MixerController::FadePending() const {
    return Gradual() && fadeTarget_ != FadeTarget::None;
}

void MixerController::Load(PlayerId player, const std::string& path) {
    if (ValidPlayer(player)) Deck(player).Load(path, LoadOrigin::AutoPlay);
}

void MixerController::Start(PlayerId player) {
    if (!ValidPlayer(player) || (eachSongOnce_ && Deck(player).Ended())) return;
    Deck(player).Start();
}

void MixerController::Seek(PlayerId player, int32_t positionMs) {
    if (ValidPlayer(player)) Deck(player).Seek(positionMs);
}

void MixerController::FadeTo(int16_t end) {
    CentreTo(end == 1 ? FadeTarget::DeckA : end == 2 ? FadeTarget::DeckB : FadeTarget::None);
}

void MixerController::LevelDeck(PlayerId player) {
    const std::string& song = Deck(player).Filename();
    std::optional<SongLevel> level;
    if (const auto known = loudness_.find(song); known != loudness_.end()) {
        level = known->second;
    } else if (!song.empty()) {
        // Measured once per song: the song table keeps it for every later load. A row from
        // before peaks were kept is measured once more for its peak, and levelled meanwhile.
        level = RememberedLoudness(song);
        if (level && level->peakDb)
            loudness_[song] = level;
        else if (levelling_ || measureEverySong_)
            loudnessScan_->Request(song);
    }
    Deck(player).SetLevelTrim(levelling_ && level
                                  ? engine::LevellingGainDb(level->lufs, targetLufs_, level->peakDb)
                                  : 0.0);
}

void MixerController::LoudnessMeasured(const std::string& path, std::optional<SongLevel> level) {
    loudness_[path] = level;
    if (level && SongDbIsOpen()) {
        try {
            StoreLoudness(path, *level);
        } catch (const DbError& error) {
            std::fprintf(stderr, "spinx: the loudness of %s cannot be kept: %s\n", path.c_str(),
                         error.what());
        }
    }
    for (PlayerId p = 0; p < Aspinx::kPlayers; ++p)
        if (Deck(p).Filename() == path) LevelDeck(p);
}

namespace {
// Elapsed time as h:mm:ss.
std::string ClockText(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}
} // namespace

bool MixerController::StartRecording(const std::string& path, QString* reason) {
    if (!engine_.StartRecording(QString::fromStdString(path), reason)) return false;
    recordingPath_ = path;
    return true;
}

std::string MixerController::StopRecording(const std::string& why) {
    if (!engine_.IsRecording()) return {};
    const uint64_t lost = engine_.RecordingDroppedFrames();
    QString reason;
    const bool complete = engine_.StopRecording(&reason);
    std::string text = why;
    const auto add = [&text](const std::string& sentence) {
        text += (text.empty() ? "" : " ") + sentence;
    };
    if (!complete) add(reason.toStdString());
    if (lost > 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f",
                      static_cast<double>(lost) / std::max(engine_.SampleRate(), 1));
        add("The computer fell behind while recording: " + std::string(seconds) +
            " seconds of the mix are missing from the file.");
    }
    return text;
}

std::string MixerController::RecordingText() const {
    const int rate = std::max(engine_.SampleRate(), 1);
    std::string text =
        "\u25CF Recording " + ClockText(static_cast<int64_t>(engine_.RecordedFrames()) / rate);
    if (const uint64_t lost = engine_.RecordingDroppedFrames(); lost > 0)
        text += " (" + std::to_string(lost * 1000 / static_cast<uint64_t>(rate)) + " ms lost)";
    return text;
}

} // namespace spinx
