#include "engine/GainLaw.h"

#include <algorithm>
#include <cmath>

namespace spinx::engine {

float FaderGain(int value) {
    const float v = static_cast<float>(std::clamp(value, 0, 100)) / 100.0f;
    return std::pow(v, 0.75f);
}

StereoGain BalanceGain(int balance) {
    balance = std::clamp(balance, 0, 100);
    StereoGain g;
    if (balance < 50) g.right = FaderGain(balance * 2);
    if (balance > 50) g.left = FaderGain((100 - balance) * 2);
    return g;
}

CueMixGain CueMixLaw(int mix) {
    const int m = std::clamp(mix, 0, 100);
    // The ends exact: cue only means no master at all, not -inf dB of rounding.
    if (m == 0) return {1.0f, 0.0f};
    if (m == 100) return {0.0f, 1.0f};
    const double angle = m / 100.0 * (M_PI / 2);
    return {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
}

int16_t PeakToMeter(float peak) {
    if (!(peak > 0.001f)) return 0; // below -60 dBFS, or NaN
    const float db = 20.0f * std::log10(peak);
    const float v = (db + 60.0f) * (100.0f / 60.0f);
    return static_cast<int16_t>(std::clamp(std::lround(v), 0L, 100L));
}

float EqValueToDb(int value) {
    return -12.0f * static_cast<float>(std::clamp(value, -100, 100)) / 100.0f;
}

int64_t MsToFrames(int64_t ms, int rate) {
    if (ms <= 0 || rate <= 0) return 0;
    return (ms * rate + 999) / 1000;
}

int32_t FramesToMs(int64_t frames, int rate) {
    if (frames <= 0 || rate <= 0) return 0;
    return static_cast<int32_t>(frames * 1000 / rate);
}

} // namespace spinx::engine
