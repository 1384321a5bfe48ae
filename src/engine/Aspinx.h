#pragma once
// The player engine: four players mixed to one output.
//
// Every public operation is called on the UI thread (the thread that owns this QObject).
// Loading and decoding run on one worker per player; mixing runs in the audio callback (or on
// the caller's thread for the offline render). Events raised there reach the UI thread through
// lock-free queues and come out as the Qt signals below, emitted on the UI thread. An idle
// engine costs the UI thread nothing: the workers' events wake it through a file descriptor,
// and the mixer's (levels, song ends) are collected by a timer that runs only while a player
// plays.
#include "engine/PlayerStatus.h"
#include "support/EqGains.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QTimer;

namespace spinx {

// Where the mixed sound goes.
enum class OutputKind {
    Default, // ALSA's default device; falls back to Null when there is none or it dies
    Null,    // no sound, but a thread keeps real-time pace so positions advance and events fire
    Offline, // nothing runs by itself: the caller renders frames with RenderOffline()
};

// Read-only overview of a loaded song for drawing: `points` min/max pairs per channel spread
// evenly over the song.
struct Waveform {
    int32_t durationMs = 0;
    std::vector<float> minLeft, maxLeft, minRight, maxRight; // each of size `points`
    int points() const { return static_cast<int>(minLeft.size()); }
};

// How the output's buffers went: for benchmarks and diagnostics.
struct OutputStats {
    uint64_t buffers = 0;      // buffers rendered by the output since the last reset
    uint64_t lateBuffers = 0;  // buffers that missed their deadline (device underflows)
    double p50CallbackUs = 0;  // median time one buffer took to mix
    double p999CallbackUs = 0; // 99.9th percentile of the time one buffer took to mix
    double maxCallbackUs = 0;
    double maxStartDelayUs = 0; // null output: the most a buffer started after its time
    double latencyMs = 0;       // sound card: the device buffer, from mixing to hearing
};

class AspinxImpl;

class Aspinx : public QObject {
    Q_OBJECT
  public:
    static constexpr int kPlayers = 4;
    // Sound card buffering, from mixing a buffer to hearing it: enough to ride out a 20 ms
    // desktop hiccup, still immediate under a DJ's hand.
    static constexpr int kDefaultLatencyMs = 30;
    static constexpr int kMaxLatencyMs = 30;
    // The headphone "device" that is the master device's right channel (see SetHeadphoneOutput).
    static constexpr const char* kSplitHeadphones = "split";

    // `latencyMs` applies to the Default output (at most kMaxLatencyMs; 0 or less: the default).
    explicit Aspinx(OutputKind output = OutputKind::Default, QObject* parent = nullptr,
                    int latencyMs = kDefaultLatencyMs);
    ~Aspinx() override;

    // Operations. Player numbers outside 0..3 are ignored (getters then return 0).
    void SetBalance(PlayerId player, int16_t balance); // 0..100, 50 = centre
    void SetVolume(PlayerId player, int16_t volume);   // 0..100
    void SetMasterVolume(int16_t volume);              // 0..100
    int16_t MasterVolume() const;
    void SetPitch(PlayerId player, int16_t pitch); // 1..2000, 1000 = normal speed
    // With key lock the pitch changes the tempo only, the key stays. Switched while the player
    // sounds, one buffer crossfades from the one sound to the other.
    void SetKeyLock(PlayerId player, bool on);
    bool KeyLock(PlayerId player) const;
    // Takes the player's lows (below about 150 Hz) out, or gives them back, gliding: the bass
    // swap of a transition.
    void SetBassCut(PlayerId player, bool cut);
    bool BassCut(PlayerId player) const;
    void SetEqualizer(PlayerId player, bool enabled, const EqGains& gains);
    // Returns at once. `path` as the file system gives it: a name need not be UTF-8.
    void LoadSound(PlayerId player, const std::string& path);
    void LoadSound(PlayerId player, const QString& path); // a name Qt can spell
    // The path of the player's song (the last one asked for), as LoadSound was given it.
    std::string SongPath(PlayerId player) const;
    void PlaySound(PlayerId player);
    void PauseSound(PlayerId player);
    void StopSound(PlayerId player); // halts and keeps the position
    void SeekSound(PlayerId player, int32_t positionMs);
    PlayerStatus GetPlayerStatus(PlayerId player); // Stopped when empty
    int32_t GetSoundPosition(PlayerId player);     // ms, song time
    int32_t GetSoundDuration(PlayerId player);     // ms; 0 with no song
    // The player's song has loaded (it is not still loading): its duration is its own, though a
    // long file's may yet be corrected by the scan that follows the load.
    bool SongLoaded(PlayerId player) const;
    // "1:05 / 3:20": where the song is, and its length.
    QString PositionText(PlayerId player) const;

    // A gain in dB on top of the volume (levelling songs to one loudness); 0 = none.
    void SetLevelTrim(PlayerId player, double db);

    // Level events start (or stop) for this player.
    void EnableLevels(PlayerId player, bool on);

    // Overview of the loaded song, or null until computed (WaveformReady tells when).
    std::shared_ptr<const Waveform> GetWaveform(PlayerId player) const;
    // Copies the player's most recent `frames` output frames (stereo interleaved, after its
    // EQ and gains) into `dst`, for a live scope or spectrum; returns the frames copied.
    int CopyRecentOutput(PlayerId player, float* dst, int frames) const;

    // Records the master mix, as the output gets it, to a ".flac" or ".wav" file until
    // StopRecording, a new StartRecording or the engine's end, each of which finalises the file.
    // False with `reason` (a sentence for the user) when it cannot start, or when the file could
    // not be written completely.
    bool StartRecording(const QString& path, QString* reason = nullptr);
    bool StopRecording(QString* reason = nullptr);
    bool IsRecording() const;
    // True while a recording runs whose file could not be written (any thread, cheap enough to
    // poll on a timer): it has stopped growing, and StopRecording tells why.
    bool RecordingFailed() const;
    int64_t RecordedFrames() const;          // in the file so far, at SampleRate()
    uint64_t RecordingDroppedFrames() const; // lost because the writer fell behind

    // Output sample rate in Hz.
    int SampleRate() const;
    // Which output is in use now (Default may have fallen back to Null).
    OutputKind ActiveOutput() const;
    // Waits up to `timeoutMs` for the sound device's first opening (it opens in the background,
    // so that nothing waits for a slow sound server); true when a device plays.
    bool WaitForOutput(int timeoutMs) const;
    // The sound devices that take output, by name.
    static QStringList OutputDevices();
    // Default output only: moves the sound to the device called `name` ("" = the default
    // device) without stopping the players. False with `reason` when it will not play; the mix
    // then goes on through the null output.
    bool SetOutputDevice(const QString& name, QString* reason = nullptr);
    QString OutputDevice() const; // the name last asked for; "" = the default device
    // Buffer timing of the running output (zero for Offline), and a fresh start of it.
    OutputStats GetOutputStats() const;
    void ResetOutputStats();

    // The headphones (the DJ's cue). A cued player is heard in them at its own level, after its
    // EQ and before its volume, balance and the crossfader, whatever those are; the master
    // output is the same, sample for sample, whether anything is cued or not.
    void SetCue(PlayerId player, bool on);
    bool IsCued(PlayerId player) const;
    // The cue/master knob: 0 = the cue alone in the headphones (the default), 100 = the master
    // alone, equal power between.
    void SetCueMix(int mix);
    int CueMix() const;
    void SetHeadphoneVolume(int volume); // 0..100, the volume law of the faders; 100 at start
    int HeadphoneVolume() const;
    // Where the headphones play: "" = nowhere (the default); a sound server sink's or an ALSA
    // device's name = a second output on that device; kSplitHeadphones = the master device
    // carries the master in mono on the left and the headphones in mono on the right (a Y
    // cable). False with `reason` (and HeadphoneOutputFailed) when the device will not play;
    // the headphones then play nowhere and the master plays on as before.
    bool SetHeadphoneOutput(const QString& device, QString* reason = nullptr);
    // What the headphones play on now: "" once their device is lost (HeadphoneOutputFailed).
    QString HeadphoneOutput() const;
    // From mixing to hearing on the headphones' own device, in ms (0 without one).
    double HeadphoneLatencyMs() const;

    // Offline output only: mixes `frames` stereo frames into `interleaved` on the caller's
    // thread, then delivers the events due (signals are emitted before it returns).
    // `headphones`, when given, gets the headphone mix of the same frames (wherever the
    // headphones play otherwise).
    void RenderOffline(float* interleaved, int frames, float* headphones = nullptr);
    // Emits the signals of all events queued so far (normally a UI-thread timer does this).
    void DeliverEvents();
    // Blocks until no load is under way on any player (at most timeoutMs), then delivers
    // events. For tests and tools; returns false on time-out.
    bool WaitIdle(int timeoutMs = 5000);

  signals:
    void SoundDone(PlayerId nPlayer);
    void SoundLoaded(PlayerId nPlayer, int16_t nItemIndex);
    void SoundLoadFailed(PlayerId nPlayer, QString path, QString reason);
    void VUMeterValueChange(PlayerId nPlayer, int16_t nPeakLeft, int16_t nPeakRight);
    void WaveformReady(PlayerId nPlayer);
    // The headphones' device would not open or has gone away; `reason` is a sentence for the
    // user. The master is not affected.
    void HeadphoneOutputFailed(QString device, QString reason);

  private:
    // Runs the collecting timer while a player plays and a little after (its last level).
    void KeepCollecting(bool playing);

    std::unique_ptr<AspinxImpl> impl_;
    QTimer* collect_ = nullptr;
    QElapsedTimer sincePlaying_;
};

} // namespace spinx
