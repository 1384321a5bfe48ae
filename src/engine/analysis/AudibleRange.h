#pragma once
// Where a song's sound begins and ends, ignoring the silence around it. Pure functions over a
// song's overview or its decoded samples; any thread.
#include "engine/Aspinx.h"

#include <cstdint>

namespace spinx::engine {

inline constexpr double kAudibleThresholdDbfs = -50.0;

struct AudibleRange {
    int32_t startMs = 0; // the first moment louder than the threshold
    int32_t endMs = 0;   // the last such moment; equal to startMs when nothing is audible
    bool audible = false;
};

// From the overview's min/max points: a point is audible when either channel's peak exceeds
// `thresholdDbfs`. The start is the beginning of the first audible point, the end the end of
// the last, so nothing audible is ever cut (the error is one point, the song's length / points).
AudibleRange FindAudibleRange(const Waveform& overview,
                              double thresholdDbfs = kAudibleThresholdDbfs);

// The same from a whole decoded song (mono or interleaved stereo), through an overview of as many
// points as the desk draws, so both find the same range.
AudibleRange FindAudibleRange(const float* samples, int64_t frames, int channels, int rate,
                              double thresholdDbfs = kAudibleThresholdDbfs);

} // namespace spinx::engine
