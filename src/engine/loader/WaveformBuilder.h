#pragma once
// Builds a song's waveform overview step by step on the player's worker thread, from its own
// half-rate decoding pass, so the worker can serve the ring and seeks between steps.
#include "engine/Aspinx.h"
#include "engine/loader/Mp3Decoder.h"

#include <memory>
#include <string>
#include <vector>

namespace spinx::engine {

class WaveformBuilder {
  public:
    static constexpr int kMaxPoints = 4000;

    // `lengthFrames` and `rate` are the song's, for the duration; false if the file won't open.
    bool Start(const std::string& path, int64_t lengthFrames, int rate);
    // Decodes one slice (a few ms of work); true when the overview is complete.
    bool Step();
    std::shared_ptr<const Waveform> Take() { return std::move(result_); }

  private:
    Mp3Decoder decoder_;
    std::shared_ptr<Waveform> result_;
    int64_t decoded_ = 0;
    int64_t total_ = 0;
    std::vector<float> scratch_;
};

} // namespace spinx::engine
