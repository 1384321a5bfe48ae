#pragma once
// Turntable-style variable speed for one player: libsoxr's variable-rate resampler in pull mode,
// fed from the player's SourceReader. Pull mode consumes exactly speed x output frames (push
// mode would eat input at the creation ratio whatever the speed).
//
// Song time is tracked by integrating the io ratio over every output frame (`outTime_`, in
// stream input frames); the stream's input index maps to song frames through a base that is
// reset by Resync. Constructed on the UI thread (libsoxr allocates there, once); everything
// else runs on the mixer's thread and neither allocates nor locks.
#include "engine/EngineTypes.h"

#include <cstdint>

struct soxr;

namespace spinx::engine {

class SourceReader;
class Resampler;
struct FixedRateSlot;
struct WorkerSignal;

// libsoxr at one constant ratio, for a speed that holds still: several times cheaper than its
// variable-rate mode. Made and settled in (libsoxr allocates until its buffers have grown) on
// the worker thread; the mixer then plays through it without allocating. Output frame k stands
// at input time k x ratio.
class FixedRateResampler {
  public:
    // The ratios it is used for; far beyond them libsoxr builds huge filters.
    static constexpr double kMinRatio = 0.25, kMaxRatio = 4.0;

    explicit FixedRateResampler(double ratio); // worker thread
    ~FixedRateResampler();
    FixedRateResampler(const FixedRateResampler&) = delete;
    FixedRateResampler& operator=(const FixedRateResampler&) = delete;
    bool Ok() const { return soxr_ != nullptr; }
    double Ratio() const { return ratio_; }

  private:
    friend class Resampler;
    static std::size_t Input(void* self, const void** data, std::size_t requested);
    void Output(float* dst, int frames);

    soxr* soxr_ = nullptr;
    const double ratio_;
    Resampler* owner_ = nullptr; // feeds it while the mixer plays through it; else silence
    int64_t in_ = 0, out_ = 0;   // input frames supplied, output frames made
    float silence_[1024 * 2] = {};
    float input_[1024 * 2] = {};
};

class Resampler {
  public:
    // `maxRatio`: the largest input/output frame ratio ever asked for. `slot` and `worker`: the
    // player's hand-over of constant-ratio resamplers and its worker's wake-up.
    Resampler(double maxRatio, FixedRateSlot& slot, WorkerSignal& worker);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Restarts at song frame `frame` without clearing libsoxr (which would allocate): feeds
    // kPreRoll frames of what precedes `frame` (the reader's history, else silence) behind
    // everything still in the resampler, then discards output up to `frame`. The next output
    // frame is `frame`, played at `ratio`.
    void Resync(SourceReader& reader, int64_t frame, double ratio, bool offline);

    // Writes `frames` output frames; the ratio glides from the current one to `ratio` across
    // them. Returns the index of the first frame past the song's end (frames from there on are
    // silence), or -1 when the song goes on.
    int Process(SourceReader& reader, float* dst, int frames, double ratio, bool offline);

    // Song frame (fractional) of the next output frame.
    double Position() const;
    double Ratio() const { return ratio_; }

  private:
    friend class FixedRateResampler;
    static std::size_t Input(void* self, const void** data, std::size_t requested);
    std::size_t Feed(const void** data, std::size_t requested);
    // Song audio for a resampler's input; silence past the end or in an underrun, where
    // `songBase` (the stream's song offset) slips by what the silence covered.
    int ReadSong(float* dst, int want, int64_t& songBase);
    void Output(float* dst, int frames, double ratio);
    // Output at the held ratio, through the constant-ratio resampler when it is in use.
    void OutputHeld(float* dst, int frames, double ratio);
    // Has a constant-ratio resampler for `ratio`: ours, or a new one from the worker (ours goes
    // back); else asks the worker for one.
    bool FixedReady(double ratio);
    // Offline only: waits (at most a while) until the worker has an offer we may take.
    bool WaitForOffer();
    // Moves these frames' output to the constant-ratio resampler, crossfading from the
    // variable-rate one (which goes on alone if the song's history is too short to align).
    void EnterFixed(float* dst, int frames, double ratio);
    // Feeds the constant-ratio resampler from the song so that its next output stands at
    // `position`; false when the song's history does not reach back far enough.
    bool AlignFixed(double position);

    FixedRateSlot& slot_;
    WorkerSignal& worker_;
    FixedRateResampler* fixed_ = nullptr; // ours, in use or kept for its ratio coming back
    bool fixedActive_ = false;
    int64_t fixedStreamBase_ = 0, fixedSongBase_ = 0; // as streamBase_/songBase_, for fixed_
    int64_t heldFrames_ = 0;                          // output frames at an unchanged ratio

    soxr* soxr_ = nullptr;
    const double maxRatio_;
    double ratio_ = 1.0;
    double outTime_ = 0.0;                  // stream input time of the next output frame
    int64_t inCount_ = 0;                   // stream input frames supplied so far
    int64_t streamBase_ = 0, songBase_ = 0; // song frame = stream index - streamBase_ + songBase_
    int64_t zerosToFeed_ = 0;
    bool priming_ = false;

    // Input side, valid during Process/Resync.
    SourceReader* reader_ = nullptr;
    bool offline_ = false;

    static constexpr int kInputFrames = 1024;
    float input_[kInputFrames * 2] = {};
    float discard_[kMaxChunk * 2] = {};
    float other_[kMaxChunk * 2] = {}; // the resampler left behind, during a hand-over
};

} // namespace spinx::engine
