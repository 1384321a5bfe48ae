#pragma once
// What the deck's two display pictures show: an overview of the whole song and a small live
// spectrum of what the player is sending out. Pure functions, any thread.
#include "engine/Aspinx.h"

#include <vector>

namespace spinx {

// The song's overview squeezed into `columns` columns: per column the lowest and the highest
// sample of either channel (-1..1).
struct OverviewColumn {
    float low = 0, high = 0;
};
std::vector<OverviewColumn> OverviewColumns(const Waveform& waveform, int columns);

// The spectrum of `frames` stereo frames (interleaved; `frames` a power of two) in `bars` bands
// spaced evenly on a log scale from kSpectrumLowHz up to kSpectrumHighHz (or the Nyquist
// frequency when lower). Each bar is the band's loudest component mapped from -60 dB (0) to
// full scale (1).
inline constexpr double kSpectrumLowHz = 40;
inline constexpr double kSpectrumHighHz = 16000;
inline constexpr double kSpectrumFloorDb = -60;
std::vector<double> SpectrumBars(const float* interleaved, int frames, int sampleRate, int bars);

} // namespace spinx
