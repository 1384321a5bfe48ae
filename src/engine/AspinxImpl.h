#pragma once
// The engine behind Aspinx. Every member function runs on the UI thread; it talks to the mixer
// through a lock-free command queue and the players' atomics, and to the loader workers through
// their request slots.
#include "engine/Aspinx.h"
#include "engine/PlayerChannel.h"

#include <QString>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace spinx::engine {
class Mixer;
class PlayerWorker;
class AudioOutput;
class OutputKeeper;
class HeadphoneOutput;
class Recorder;
} // namespace spinx::engine

namespace spinx {

class AspinxImpl {
  public:
    explicit AspinxImpl(OutputKind output, int latencyMs = Aspinx::kDefaultLatencyMs);
    ~AspinxImpl();
    // Stops the output, then the loaders, giving them together about a second. False when a
    // loader is stuck (in a system call on a file): it still uses this object, which must then
    // never be destroyed.
    bool Shutdown();

    static bool Valid(int player) { return player >= 0 && player < Aspinx::kPlayers; }

    void SetBalance(int player, int balance);
    void SetVolume(int player, int volume);
    void SetMasterVolume(int volume);
    // For measurements: the master limiter on (the default) or off.
    void SetLimiter(bool on);
    int MasterVolume() const { return master_; }
    void SetLevelTrim(int player, double db);
    void SetPitch(int player, int pitch);
    void SetKeyLock(int player, bool on);
    bool KeyLock(int player) const;
    void SetBassCut(int player, bool cut);
    bool BassCut(int player) const;
    void SetEqualizer(int player, bool enabled, const EqGains& gains);
    void Load(int player, const std::string& path);
    void Play(int player);
    void Pause(int player);
    void Stop(int player);
    void Seek(int player, int32_t ms);
    int16_t Status(int player) const;
    int32_t PositionMs(int player) const;
    int32_t DurationMs(int player) const;
    bool SongLoaded(int player) const { return ui_[player].loaded && !ui_[player].loadPending; }
    QString PositionText(int player) const;
    void SetMeter(int player, bool on);
    std::shared_ptr<const Waveform> GetWaveform(int player) const;
    int CopyRecentOutput(int player, float* dst, int frames) const;

    int SampleRate() const;
    engine::Recorder& MixRecorder() { return *recorder_; }
    OutputKind ActiveOutput() const;
    bool WaitForOutput(int timeoutMs) const;
    // Moves the output to the device called `name` ("" = the default device). When it will not
    // play, false with `reason`, and the mix goes on through the null output.
    bool UseDevice(const std::string& name, std::string* reason);
    const std::string& DeviceName() const { return device_; }
    OutputStats GetOutputStats() const;
    void ResetOutputStats();

    // The headphones: which players are cued, the cue/master knob (0 = cue only), their volume,
    // and where they play ("" = nowhere, Aspinx::kSplitHeadphones, or a device by name).
    // UseHeadphones is false with `reason` when the device will not play; they then play nowhere.
    void SetCue(int player, bool on);
    bool Cued(int player) const { return ui_[player].cue; }
    void SetCueMix(int mix);
    int CueMix() const { return cueMix_; }
    void SetHeadphoneVolume(int volume);
    int HeadphoneVolume() const { return headphoneVolume_; }
    bool UseHeadphones(const std::string& name, std::string* reason);
    const std::string& HeadphoneName() const { return headphoneName_; }
    double HeadphoneLatencyMs() const;
    // Once the headphones' device has been lost: drops it (they then play nowhere) and returns
    // true with the device's name and what happened. UI thread, from CollectEvents' caller.
    bool TakeHeadphoneLoss(std::string* device, std::string* why);

    // Offline output only: mixes on the caller's thread; `headphones`, when given, gets the
    // headphone mix of the same frames.
    bool RenderOffline(float* interleaved, int frames, float* headphones = nullptr);
    // The events queued so far, in the order they happened, without those about replaced songs.
    // Updates the UI-side player state they concern (a finished load, a failed one).
    void CollectEvents(std::vector<engine::Event>& out);
    // A load under way, or a loaded song whose exact length is still being found.
    bool LoadsPending() const;
    bool AnyPlaying() const;
    // Readable (an eventfd) when a worker has raised an event; -1 if there is none.
    int WakeFd() const { return wakeFd_; }
    const std::string& PathOf(int player) const { return ui_[player].path; }

  private:
    struct UiPlayer {
        uint32_t gen = 0;     // last data generation handed out (loads and seeks)
        uint32_t loadGen = 0; // generation of the current song's load
        bool loadPending = false;
        bool loaded = false;
        bool cue = false;
        int32_t seekAfterLoadMs = -1; // a seek asked for while the song was still loading
        int volume = 100;
        int balance = 50;
        float trim = 1.0f; // levelling gain on top of the volume
        std::string path;  // as the file system gave it
    };

    void Send(const engine::Command& c);
    void SendTransport(int player, engine::Command::Type type, int16_t status);
    void ApplyGains(int player);
    void StartOutput(OutputKind kind);
    // The device `name` ("" = the default), playing `opened` at once when given, kept playing.
    std::unique_ptr<engine::OutputKeeper> KeepDevice(const std::string& name,
                                                     std::unique_ptr<engine::AudioOutput> opened);
    int latencyMs_; // what the sound card was asked for, kept for a change of device

    std::array<engine::PlayerChannel, Aspinx::kPlayers> channels_;
    std::unique_ptr<engine::Mixer> mixer_;
    std::array<std::unique_ptr<engine::PlayerWorker>, Aspinx::kPlayers> workers_;
    std::unique_ptr<engine::AudioOutput> output_;
    std::unique_ptr<engine::Recorder> recorder_;
    std::unique_ptr<engine::HeadphoneOutput> headphones_;
    std::string headphoneName_; // what the headphones play on now
    int cueMix_ = 0;
    int headphoneVolume_ = 100;
    OutputKind requested_;
    std::string device_; // the device asked for by name; "" = the default one
    std::array<UiPlayer, Aspinx::kPlayers> ui_;
    int master_ = 100;
    int wakeFd_ = -1; // eventfd the workers write after each event; outlives them
    std::vector<engine::Event> sortBuffer_;
};

} // namespace spinx
