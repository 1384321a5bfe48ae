#include "deck/DeckDisplay.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace spinx {

namespace {
// In-place radix-2 FFT; the size must be a power of two.
void Fft(std::vector<std::complex<double>>& data) {
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2 * std::numbers::pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t start = 0; start < n; start += length) {
            std::complex<double> w(1);
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> even = data[start + k];
                const std::complex<double> odd = data[start + k + length / 2] * w;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
                w *= step;
            }
        }
    }
}
} // namespace

std::vector<OverviewColumn> OverviewColumns(const Waveform& waveform, int columns) {
    std::vector<OverviewColumn> result(std::max(columns, 0));
    const int points = waveform.points();
    if (points == 0 || columns <= 0) return result;
    for (int c = 0; c < columns; ++c) {
        const int first = static_cast<int>(static_cast<int64_t>(c) * points / columns);
        const int last = std::max(first + 1, static_cast<int>(int64_t{c + 1} * points / columns));
        OverviewColumn& column = result[c];
        column.low = column.high = 0;
        for (int p = first; p < last && p < points; ++p) {
            column.low = std::min({column.low, waveform.minLeft[p], waveform.minRight[p]});
            column.high = std::max({column.high, waveform.maxLeft[p], waveform.maxRight[p]});
        }
    }
    return result;
}

SpectrumAnalyser::SpectrumAnalyser(int frames, int sampleRate, int bars)
    : frames_(frames >= 2 && (frames & (frames - 1)) == 0 && sampleRate > 0 && bars > 0 ? frames
                                                                                        : 0),
      sampleRate_(sampleRate), window_(frames_), barOf_(frames_ / 2, -1), data_(frames_),
      loudest_(std::max(bars, 0)), levels_(std::max(bars, 0)) {
    for (int i = 0; i < frames_; ++i)
        window_[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (frames_ - 1));
    if (frames_ == 0) return;
    const double high = std::min(kSpectrumHighHz, sampleRate / 2.0);
    const double binHz = static_cast<double>(sampleRate) / frames_;
    for (int bin = 1; bin < frames_ / 2; ++bin) {
        const double hz = bin * binHz;
        if (hz < kSpectrumLowHz || hz >= high) continue;
        const int bar = static_cast<int>(bars * std::log(hz / kSpectrumLowHz) /
                                         std::log(high / kSpectrumLowHz));
        barOf_[bin] = std::clamp(bar, 0, bars - 1);
    }
}

const std::vector<double>& SpectrumAnalyser::Bars(const float* interleaved) {
    std::fill(levels_.begin(), levels_.end(), 0.0);
    if (frames_ == 0) return levels_;
    for (int i = 0; i < frames_; ++i)
        data_[i] = window_[i] * 0.5 * (interleaved[2 * i] + interleaved[2 * i + 1]);
    Fft(data_);
    std::fill(loudest_.begin(), loudest_.end(), 0.0);
    for (int bin = 1; bin < frames_ / 2; ++bin)
        if (const int bar = barOf_[bin]; bar >= 0)
            loudest_[bar] = std::max(loudest_[bar], std::norm(data_[bin]));
    // A full-scale sine peaks at frames / 4 under the Hann window.
    const double fullScale = frames_ / 4.0;
    for (std::size_t bar = 0; bar < levels_.size(); ++bar) {
        const double db = 20 * std::log10(std::sqrt(loudest_[bar]) / fullScale + 1e-12);
        levels_[bar] = std::clamp(1 - db / kSpectrumFloorDb, 0.0, 1.0);
    }
    return levels_;
}

std::vector<double> SpectrumBars(const float* interleaved, int frames, int sampleRate, int bars) {
    SpectrumAnalyser analyser(frames, sampleRate, bars);
    if (analyser.Frames() == 0) return std::vector<double>(std::max(bars, 0), 0.0);
    return analyser.Bars(interleaved);
}

} // namespace spinx
