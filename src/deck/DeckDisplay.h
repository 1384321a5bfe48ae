#pragma once
// What the deck's two display pictures show: an overview of the whole song and a small live
// spectrum of what the player is sending out. Pure functions, any thread.
#include "engine/Aspinx.h"

#include <QRgb>

#include <complex>
#include <vector>

namespace spinx {

// The deck's drawing colours: the lit level bars, the played part of the progress bar, the
// markers on it, and the spectrum's bars.
inline constexpr QRgb kLevelBarRgb = qRgb(0, 128, 0);
inline constexpr QRgb kPlayedRgb = qRgb(128, 0, 0);
inline constexpr QRgb kMarkerRgb = qRgb(255, 255, 255);
inline constexpr QRgb kSpectrumRgb = qRgb(255, 255, 0);

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
// Made once per deck: the window and each bin's bar are worked out here, so that a display
// tick costs one transform and a logarithm per bar.
class SpectrumAnalyser {
  public:
    SpectrumAnalyser(int frames, int sampleRate, int bars);
    int Frames() const { return frames_; }
    int SampleRate() const { return sampleRate_; }
    // `interleaved` holds Frames() frames; the result lives until the next call.
    const std::vector<double>& Bars(const float* interleaved);

  private:
    int frames_, sampleRate_;
    std::vector<double> window_;
    std::vector<int> barOf_; // per bin below frames / 2; -1 outside the bars' range
    std::vector<std::complex<double>> data_;
    std::vector<double> loudest_; // per bar, squared magnitude
    std::vector<double> levels_;
};
std::vector<double> SpectrumBars(const float* interleaved, int frames, int sampleRate, int bars);

} // namespace spinx
