#pragma once
// The desk without windows: four decks on the engine's four players, Deck A and Deck B mixed
// with the crossfader under a master volume, the default end marker (overlap), levelling, and
// auto play over a queue of songs. The mixer window, the keys and the set renderer all drive
// this one object, so the desk plays a set the same way with or without its windows. UI
// thread (the engine's).
#include "deck/SongSettings.h"
#include "desk/BeatMix.h"
#include "desk/DeckController.h"
#include "desk/DeskTypes.h"
#include "desk/Playlist.h"
#include "engine/Aspinx.h"
#include "mixer/AudibleEdges.h"
#include "mixer/AutoPlay.h"

#include <QObject>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

class QTimer;

namespace spinx {

namespace engine {
class BackgroundScan;
}

namespace engine {
struct MusicAnalysis;
}

// What the transitions need of a song's analysis; the mix points come from where its sound
// begins and ends.
MixSong MixSongFrom(const engine::MusicAnalysis& music);

class MixerController : public QObject, private AutoPlayDesk {
    Q_OBJECT
  public:
    static constexpr int32_t kDefaultOverlapMs = 10000;
    static constexpr int32_t kMaxOverlapMs = 30000;
    // Songs analysed by an older analyser are listened to again.
    static constexpr int kMusicAnalyserVersion = 1;

    explicit MixerController(Aspinx& engine, QObject* parent = nullptr);
    ~MixerController() override;

    Aspinx& Engine() const { return engine_; }
    // The songs auto play takes from, top first.
    Playlist& Songs() { return songs_; }
    const Playlist& Songs() const { return songs_; }
    DeckController& Deck(PlayerId player) const { return *decks_.at(static_cast<size_t>(player)); }
    static bool ValidPlayer(PlayerId player) { return player >= 0 && player < Aspinx::kPlayers; }

    // The pair the crossfader mixes; a deck cannot be both.
    PlayerId DeckA() const { return deckA_; }
    PlayerId DeckB() const { return deckB_; }
    void SetDeckA(PlayerId player);
    void SetDeckB(PlayerId player);

    CrossfadePosition Crossfader() const { return crossfader_; }
    // Moves the crossfader and sends both decks of the pair their shares.
    void SetCrossfader(CrossfadePosition position);
    // Sends both decks of the pair their shares as the crossfader stands.
    void ApplyCrossfader() override;
    // Deck A's end or Deck B's: at once, or a step per tick when the fade is gradual.
    void CentreTo(FadeTarget end);
    FadeTarget Fading() const { return fadeTarget_; }
    // Whether CentreTo walks the crossfader rather than jumping; Auto Fade keeps it on.
    bool Gradual() const { return gradual_ || autoFade_; }
    void SetGradual(bool on);

    EngineVolume MasterVolume() const;
    void SetMasterVolume(EngineVolume volume);
    // The headphones: the cue/master knob (0 = the cued decks alone, 100 = the master alone)
    // and their volume (0..100, the faders' law).
    int CueMix() const;
    void SetCueMix(int mix);
    EngineVolume HeadphoneVolume() const;
    void SetHeadphoneVolume(EngineVolume volume);

    // The end marker, in ms before the song's end, of songs without one of their own.
    int32_t Overlap() const { return overlap_; }
    void SetOverlap(int32_t ms);

    // With levelling each deck plays at a trim that brings its song to `targetLufs`, measured
    // in the background the first time a song is loaded and remembered in its row.
    bool Levelling() const { return levelling_; }
    void SetLevelling(bool on);
    void SetTargetLoudness(double lufs) { targetLufs_ = lufs; }
    engine::BackgroundScan& LoudnessScanner() const { return *loudnessScan_; }
    // Listens to each song loaded for the first time (tempo, beats, key), in the background.
    engine::BackgroundScan& MusicScanner() const { return *musicScan_; }
    // The playlist's songs are listened to as well, at the lowest priority: one at a time,
    // never while a deck waits for its own song (the playlist's song is dropped at once and
    // taken up again later) nor while `busy` says the playlist has other work under way (its
    // titles). A song analysed before comes from its row; one that has left the playlist by
    // its turn is passed over.
    void LearnPlaylistMusic(const std::string& path);
    void SetPlaylistBusy(std::function<bool()> busy) { playlistBusy_ = std::move(busy); }
    engine::BackgroundScan& PlaylistMusicScanner() const { return *playlistScan_; }
    // What is known of the song's music; null until it has been analysed or found in its row.
    const MixSong* KnownMusic(const std::string& path) const;

    bool AutoPlayOn() const { return autoPlay_.Enabled(); }
    void SetAutoPlay(bool on);
    bool AutoFade() const { return autoFade_; }
    void SetAutoFade(bool on);
    void SetSkipSilence(bool on) { autoPlay_.SetSkipSilence(on); }
    // With the playlist empty the desk's auto play plays the songs the decks still hold again,
    // in turn; a rendered set instead ends after its last song.
    void SetEachSongOnce(bool on) { eachSongOnce_ = on; }
    // The desk measures every song it loads in the background (its loudness and its music, to
    // show and remember them); a set renderer asks only for what its set uses.
    void SetMeasureEverySong(bool on) { measureEverySong_ = on; }
    const AutoPlay& AutoPlayer() const { return autoPlay_; }

    // Record Mix: the master mix into a FLAC or WAV file, by its extension.
    bool StartRecording(const std::string& path, QString* reason);
    // Finalises the recording; what went wrong, in sentences for the user (`why` first when
    // given), or "" when the file holds the whole mix.
    std::string StopRecording(const std::string& why = "");
    bool IsRecording() const { return engine_.IsRecording(); }
    // The file could no longer be written (a full disk): it has stopped growing, and
    // StopRecording tells why.
    bool RecordingFailed() const { return engine_.RecordingFailed(); }
    const std::string& RecordingPath() const { return recordingPath_; }
    // "● Recording h:mm:ss", with what the writer lost when it fell behind.
    std::string RecordingText() const;

    // Beat Mix: auto play's take-overs are beat-matched and phrase-aligned where the music
    // allows (see BeatMix.h), with an equal-power fade; off, they are as the crossfader makes
    // them.
    bool BeatMix() const { return beatMix_; }
    void SetBeatMix(bool on);
    // What is known of a song's music, by path; the transitions plan with it.
    void SetSongMusic(const std::string& path, const MixSong& music);
    // Sets the player's pitch so that its tempo as heard equals the other deck's of the pair
    // (Deck A's for a deck outside the pair), at half or double tempo where that is nearer,
    // and, when that deck plays, moves it onto the nearest beat in phase with it. False when
    // either tempo is unknown.
    bool Sync(PlayerId player);
    // The transition under way, if any.
    bool InTransition() const { return transition_.started; }

    // The 100 ms step: the decks' rules, a step of a gradual crossfade, then auto play.
    void Tick();

    // For driving the desk without a clock (the set renderer, tests): whether something the
    // set waits for is under way - a load, a playing song's overview, a deck's loudness.
    bool Settling() const;
    // Waits until nothing is settling, at most `timeoutMs`; false when time ran out.
    bool Settle(int timeoutMs);
    // Nothing left in the queue and neither deck of the pair plays.
    bool Finished() const;

  signals:
    void pairChanged();
    void crossfaderChanged();
    void fadeChanged();
    void masterChanged();
    void overlapChanged();
    void automationChanged(); // auto play, Auto Fade, gradual or levelling
    // A song auto play had loaded could not be played: it was skipped.
    void songSkipped(const std::string& path, const QString& reason);
    void problem(const QString& text);
    // What is known of the song's music changed (see KnownMusic).
    void musicKnown(const std::string& path);

  private:
    // AutoPlayDesk.
    PlayerId PlayerA() const override { return deckA_; }
    PlayerId PlayerB() const override { return deckB_; }
    bool HasDeck(PlayerId player) const override { return ValidPlayer(player); }
    std::string Song(PlayerId player) const override;
    DeckReading Read(PlayerId player) const override;
    bool FadePending() const override;
    bool PlaylistEmpty() const override { return songs_.Empty(); }
    std::string TakeTopRow() override { return songs_.TakeTop(); }
    void Load(PlayerId player, const std::string& path) override;
    void Start(PlayerId player) override;
    void Seek(PlayerId player, int32_t positionMs) override;
    void FadeTo(int16_t end) override;

    // Beat Mix, on each tick: plans the next take-over and runs the one under way.
    void BeatMixTick();
    bool PlanTransition();
    void RunTransition();
    void EndTransition();
    void GlidePitchBack();
    // Holds key lock on `wanted` (-1: none) while it waits for its take-over.
    void PrepareKeyLock(PlayerId wanted);
    std::optional<MixSong> MusicOf(PlayerId player) const;
    int32_t SongPosition(PlayerId player) const;

    void LevelDeck(PlayerId player);
    void LoudnessMeasured(const std::string& path, std::optional<SongLevel> level);
    // Asks for the song's music to be analysed unless it is known.
    void LearnMusic(const std::string& path);
    // The music scan's report: kept for the decks and in the song's row.
    void MusicHeard(const std::string& path, const std::optional<engine::MusicAnalysis>& music);
    // Starts the next playlist song's analysis when nothing comes before it.
    void FeedPlaylistMusic();
    // The playlist scan's report; an abandoned song goes back to the queue's front.
    void PlaylistMusicHeard(const std::string& path,
                            const std::optional<engine::MusicAnalysis>& music, bool abandoned);

    Aspinx& engine_;
    Playlist songs_;
    std::string recordingPath_;
    std::array<std::unique_ptr<DeckController>, Aspinx::kPlayers> decks_;
    PlayerId deckA_ = 0;
    PlayerId deckB_ = 1;
    CrossfadePosition crossfader_;
    FadeTarget fadeTarget_ = FadeTarget::None;
    bool gradual_ = false;
    bool autoFade_ = false;
    bool eachSongOnce_ = false;
    bool measureEverySong_ = true;
    bool beatMix_ = false;
    std::map<std::string, MixSong> music_;
    struct Transition {
        PlayerId out = -1;
        PlayerId in = -1;
        TransitionPlan plan;
        int outPitch = 1000;
        int inOwnPitch = 1000; // the incoming's own speed, glided back to afterwards
        bool started = false;
        bool phaseChecked = false;
        bool bassSwapped = false;
    } transition_;
    // The deck whose key lock is held ready for the planned take-over, or -1.
    PlayerId keyLockReady_ = -1;
    // After a take-over the new song glides back to its own speed.
    struct PitchGlide {
        PlayerId player = -1;
        int to = 1000;
        double perTick = 0; // pitch units per tick
        double at = 1000;
    } glide_;
    int32_t overlap_ = kDefaultOverlapMs;
    bool levelling_ = false;
    double targetLufs_;
    // Loudness measured or looked up this run (nothing: it cannot be measured), by path.
    std::map<std::string, std::optional<SongLevel>> loudness_;
    std::unique_ptr<engine::BackgroundScan> loudnessScan_;
    std::unique_ptr<engine::BackgroundScan> musicScan_;
    std::unordered_set<std::string> deckMusicAsked_; // the decks' songs musicScan_ still owes
    std::deque<std::string> playlistMusic_;          // waiting, in the order asked
    std::string playlistCurrent_;                    // being analysed; "" when none
    // Set to abandon the playlist song under analysis (a deck needs the scan, or the desk
    // closes); read by the analysis on the playlist scan's thread.
    std::atomic<bool> playlistYield_{false};
    std::function<bool()> playlistBusy_;
    QTimer* playlistRetry_; // looks again while the playlist is busy
    std::unique_ptr<engine::BackgroundScan> playlistScan_;
    mutable AudibleEdges edges_; // a cache, filled as auto play reads the decks
    AutoPlay autoPlay_{*this};
};

} // namespace spinx
