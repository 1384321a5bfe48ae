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

class Resampler {
  public:
    // `maxRatio`: the largest input/output frame ratio ever asked for.
    explicit Resampler(double maxRatio);
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
    static std::size_t Input(void* self, const void** data, std::size_t requested);
    std::size_t Feed(const void** data, std::size_t requested);
    void Output(float* dst, int frames, double ratio);

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
};

} // namespace spinx::engine
