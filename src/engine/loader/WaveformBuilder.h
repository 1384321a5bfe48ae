#pragma once
// A song's waveform overview, built on the player's worker thread in two ways at once: a quick
// sampling pass (one short stretch decoded at half rate every few seconds of song) makes it
// complete soon after the load, and every block the player decodes for playing adds its exact
// peaks. Each source only ever widens a point towards the song's true peaks, so the overview
// converges on a full decode's as the song plays, without decoding it twice.
#include "engine/Aspinx.h"
#include "engine/loader/Mp3Decoder.h"

#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace spinx::engine {

class WaveformBuilder {
  public:
    static constexpr int kMaxPoints = 4000;
    // Stretches the sampling pass decodes; a shorter song is decoded whole instead.
    static constexpr int kSamples = 400;

    // `player` is the song's playing decoder, already scanned: the sampling pass borrows its
    // seek index. False if the file won't open a second time.
    bool Start(const std::string& path, const Mp3Decoder& player);
    // One step of the sampling pass (well under a millisecond); true once it is complete.
    bool Step();
    bool Sampled() const { return sampled_; }
    // Adds `frames` decoded stereo frames starting at song frame `first` (the playing rate).
    void AddPlayed(int64_t first, const float* interleaved, int frames);
    // The overview as it stands, gaps between sampled stretches filled from their neighbours.
    std::shared_ptr<const Waveform> Snapshot();
    // Played frames added since the last snapshot.
    int64_t PlayedSinceSnapshot() const { return playedSinceSnapshot_; }

  private:
    // Extremes of a run of frames, per channel.
    struct Peaks {
        float lo0 = std::numeric_limits<float>::max(), hi0 = std::numeric_limits<float>::lowest();
        float lo1 = lo0, hi1 = hi0;
        void Add(const float* interleaved, int frames);
        void MergeInto(Waveform& w, int point) const;
    };
    int PointOf(int64_t frame, int64_t total) const;
    // Each frame to its own point; `total` is the song's length in the frames' rate.
    void Add(int64_t first, const float* interleaved, int frames, int64_t total);

    Mp3Decoder sampler_;
    Waveform peaks_;            // unreached points hold min > max
    int rate_ = 0;              // the playing rate
    int64_t length_ = 0;        // song frames at the playing rate
    int64_t samplerLength_ = 0; // the same at the sampling pass's rate
    int64_t sequentialAt_ = -1; // a short song is read straight through: the next frame
    int next_ = 0;              // next sampled stretch
    bool sampled_ = false;
    int64_t playedSinceSnapshot_ = 0;
    std::vector<float> scratch_;
};

} // namespace spinx::engine
