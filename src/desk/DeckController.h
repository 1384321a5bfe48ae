#pragma once
// One deck of the desk without its window: the song on an engine player, its markers, its
// volume, pitch, balance and curve, and the song memory that brings them back. The deck window
// and auto play drive it; it is the only code that talks to the player and to the song's row.
// UI thread (the engine's).
#include "deck/DeckRules.h"
#include "desk/BeatMix.h"
#include "desk/DeskTypes.h"
#include "engine/Aspinx.h"
#include "support/EqGains.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace spinx {

struct Waveform;

class DeckController : public QObject {
    Q_OBJECT
  public:
    // `overlap` gives the default end marker, in ms before a song's end.
    DeckController(Aspinx& engine, PlayerId id, std::function<int32_t()> overlap,
                   QObject* parent = nullptr);

    PlayerId ID() const { return id_; }
    // The song: its path as the file system gave it; empty when none is loaded.
    const std::string& Filename() const { return path_; }
    int32_t StartPos() const { return start_; } // where a stopped song waits (ms)
    int32_t EndPos() const { return end_; }     // the end marker, ms before the song's end
    int32_t MaxPos() const { return maxPos_; }  // the song's length as last read (ms)
    // The volume the player was last given, by the slider or the crossfader.
    EngineVolume MaxVol() const { return maxVol_; }

    SliderVolume Volume() const { return volume_; }
    PitchPerMille Pitch() const { return pitch_; }
    BalancePercent Balance() const { return balance_; }
    const EqGains& Curve() const { return curve_; }
    // Volume, pitch or curve changed since the song's settings were recalled or saved.
    bool SettingsUnsaved() const { return unsaved_; }
    // The deck was told to play and has not paused, stopped or ended since.
    bool PlayPressed() const { return playPressed_; }
    // The song played to its end; auto play does not start it again.
    bool Ended() const { return ended_; }
    // A load asked for that the engine has not yet answered.
    bool LoadPending() const { return loadPending_; }
    // The last song that failed to load, and why; empty reason when none did.
    const std::string& FailedPath() const { return failedPath_; }
    const QString& LoadFailure() const { return loadFailure_; }
    // The blink of the remaining time, stepped by Tick.
    EndWarning Warning() const { return warning_; }
    // What is known of the song's music (tempo, beats, key); nothing until it is analysed.
    const std::optional<MixSong>& Music() const { return music_; }
    void SetMusic(std::optional<MixSong> music);
    // The tempo as heard, BPM x pitch / 1000; nothing without a steady beat.
    std::optional<double> HeardBpm() const;
    // With Quantize a click on the bar while the deck plays lands on the nearest beat.
    bool Quantize() const { return quantize_; }
    void SetQuantize(bool on);
    // With Key lock a pitch change changes the tempo only (the deck's own setting, kept).
    bool KeyLock() const { return keyLock_; }
    void SetKeyLock(bool on);
    // Key lock held on for a transition, whatever the deck's setting, until the next load.
    void HoldKeyLock(bool on);
    // Heard in the headphones, before the faders (not kept: a cue is for the moment).
    bool Cue() const { return cue_; }
    void SetCue(bool on);
    // The lows out (a transition's bass swap); given back on the next load.
    void SetBassCut(bool cut);
    // The nearest beat to `positionMs`, or `positionMs` itself without a steady beat.
    int32_t NearestBeat(int32_t positionMs) const;

    // Read from the player.
    PlayerStatus Status() const;
    int32_t Position() const; // ms, at most the length
    int32_t Length() const;   // ms; 0 with no song
    QString PositionText() const;
    std::shared_ptr<const Waveform> Overview() const;
    int SampleRate() const;
    int CopyRecentOutput(float* dst, int frames) const;

    // Puts `path` on the player, stopping what plays. Its settings are recalled once the
    // engine has it.
    void Load(const std::string& path, LoadOrigin origin);
    // Play and Pause in one button: a song that has played to its end plays again from its
    // start marker.
    void PlayPause();
    // Play, unless the deck plays already (auto play's start).
    void Start();
    // Halts and waits at the start marker.
    void Stop();
    void Seek(int32_t positionMs);
    // A seek from the progress bar: quantized to the beat while the deck plays, when asked.
    void SeekFromBar(int32_t positionMs);

    void SetVolume(SliderVolume volume);
    // `byUser` false: a change the desk makes for a while (a beat-matched take-over), which
    // is no setting of the song's to save.
    void SetPitch(PitchPerMille pitch, bool byUser = true);
    void SetBalance(BalancePercent balance);
    void SetCurve(const EqGains& curve);
    // Writes volume, pitch and curve into the song's row.
    void SaveSettings();
    // A marker at `atMs` (the last click on the bar), or both back to their defaults; stored.
    void SetMarker(MarkerCommand command, int32_t atMs);

    // The crossfader's share (0..100) under the volume slider's ceiling.
    void ApplyCrossfade(int share);
    // An engine volume (0..100) the desk's automation sets directly.
    void SetMixVolume(int volume) { SendVolume(volume); }
    void SetLevelTrim(double db);

    // The 100 ms step: the length as the engine now knows it, the end marker's pull-back and
    // the end warning.
    void Tick();

    // The engine's events for this player.
    void SoundLoaded();
    void SoundDone();
    void SoundLoadFailed(const std::string& path, const QString& reason);
    void LevelsChanged(int16_t left, int16_t right) { emit levels(left, right); }
    void OverviewReady() { emit overviewReady(); }

  signals:
    // Song, markers, length or load failure changed.
    void songChanged();
    // Volume, pitch, balance, curve or whether they wait to be saved changed.
    void settingsChanged();
    // Play pressed or released.
    void transportChanged();
    void levels(int16_t left, int16_t right);
    // The song's overview has been made.
    void overviewReady();
    // Something the user should hear about; the deck plays on.
    void problem(const QString& text);

  private:
    void Recall();
    // The length as the engine now knows it, and the end marker's pull-back.
    void FollowLength();
    void SendVolume(double volume);
    // Runs `work` on the song database when one is open; a failure is told and gives false.
    bool WithSongDb(const std::function<void()>& work);
    void SetUnsaved(bool unsaved);
    void SetPlayPressed(bool pressed);

    Aspinx& engine_;
    const PlayerId id_;
    std::function<int32_t()> overlap_;
    std::string path_;
    int32_t start_ = 0;
    int32_t end_ = 0;
    int32_t maxPos_ = 0;
    EngineVolume maxVol_;
    SliderVolume volume_;
    PitchPerMille pitch_;
    BalancePercent balance_;
    EqGains curve_{};
    bool unsaved_ = false;
    bool playPressed_ = false;
    bool ended_ = false;
    bool loadPending_ = false;
    std::string failedPath_;
    QString loadFailure_;
    EndWarning warning_;
    std::optional<MixSong> music_;
    bool quantize_ = false;
    bool keyLock_ = false;
    bool keyLockHeld_ = false;
    bool cue_ = false;
};

} // namespace spinx
