#pragma once
// One player's loader/decoder worker: a thread that owns the player's libmpg123 stream, opens
// songs, keeps the decoded-audio ring filled, serves seeks, and between those scans the song
// and builds its waveform overview. The public functions are called on the UI thread; Run() is
// the worker thread.
#include "engine/PlayerChannel.h"
#include "engine/loader/Mp3Decoder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace spinx::engine {

class WaveformBuilder;

class PlayerWorker {
  public:
    // `wakeFd` (an eventfd, or -1) is written after each event so the UI thread wakes for it.
    PlayerWorker(int player, PlayerChannel& channel, std::atomic<uint64_t>& eventSeq,
                 int wakeFd = -1);
    ~PlayerWorker(); // waits for the thread however long it takes: call Stop first

    // UI thread. Asks the thread to end and waits for it until `deadline`; false when it is
    // still busy then (stuck in a system call on a file), in which case the thread keeps using
    // this object and the channel, and neither may be destroyed.
    bool Stop(std::chrono::steady_clock::time_point deadline);

    // UI thread. Replaces the song; `gen` is the data generation of the new song.
    void RequestLoad(uint32_t gen, const std::string& path);
    // UI thread. Continues at `frame` under generation `gen`.
    void RequestSeek(uint32_t gen, int64_t frame);
    // UI thread. The overview of the current song, or null until it is built.
    std::shared_ptr<const Waveform> GetWaveform() const;

  private:
    struct LoadRequest {
        uint32_t gen;
        std::string path;
    };
    struct SeekRequest {
        uint32_t gen;
        int64_t frame;
    };

    void Run();
    void DoLoad(const LoadRequest& req);
    void DoSeek(const SeekRequest& req);
    // Makes the constant-ratio resampler the mixer asks for, and deletes the one it gave back.
    void ServeFixedRate();
    void ServeKeyLock();
    bool FillOneBlock();
    bool NeedsFill() const;
    // Corrects the length the UI side reports (the song's length turned out different); `exact`
    // once no scan is left to change it.
    void PublishLength(int64_t frames, bool exact);
    void StepOverview();
    void PublishOverview();
    void PushEvent(Event e);
    bool IsLatestLoad(uint32_t gen) const; // caller holds mutex_

    const int player_;
    PlayerChannel& ch_;
    std::atomic<uint64_t>& eventSeq_;
    const int wakeFd_;

    mutable std::mutex mutex_; // guards the requests, latestLoadGen_ and waveform_
    std::optional<LoadRequest> pendingLoad_;
    std::optional<SeekRequest> pendingSeek_;
    uint32_t latestLoadGen_ = 0;
    bool quit_ = false;
    bool finished_ = false; // the thread has left Run()
    std::condition_variable finishedCv_;
    std::shared_ptr<const Waveform> waveform_;

    // Worker thread only.
    Mp3Decoder decoder_;
    bool hasSong_ = false;
    bool endPushed_ = false;
    bool atEnd_ = false;
    bool scanPending_ = false;
    bool overviewPending_ = false; // started once the length is exact
    uint32_t gen_ = 0;
    double madeRatio_ = 0.0;   // of the last constant-ratio resampler made
    bool keyLockMade_ = false; // handed to the mixer, which keeps it
    uint32_t loadGen_ = 0;
    uint64_t genStartWrite_ = 0; // ring write count when the current generation began
    int64_t nextFrame_ = 0;
    int64_t publishedLength_ = 0; // the length the UI side was told
    std::unique_ptr<WaveformBuilder> overview_;
    std::string path_;

    std::thread thread_;
};

} // namespace spinx::engine
