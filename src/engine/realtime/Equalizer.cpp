#include "engine/realtime/Equalizer.h"

#include <algorithm>
#include <cmath>

namespace spinx::engine {

namespace {
constexpr int kStep = 32;              // frames between coefficient updates
constexpr double kGlideSeconds = 0.01; // time constant of the gain glide
constexpr float kSnapDb = 0.005f;      // close enough to the target to stop gliding
constexpr float kQuiet = 1e-7f;        // filter memory this small has rung out
} // namespace

Equalizer::Equalizer(int rate)
    : smoothing_(static_cast<float>(1.0 - std::exp(-kStep / (kGlideSeconds * rate)))) {
    for (int i = 0; i < kBands; ++i) {
        // Bandwidth: the mean distance in octaves to the neighbouring centres (the one
        // neighbour for the outer bands), so adjacent bands meet near their -6 dB points.
        const double below = i > 0 ? std::log2(kCentresHz[i] / kCentresHz[i - 1]) : 0.0;
        const double above = i + 1 < kBands ? std::log2(kCentresHz[i + 1] / kCentresHz[i]) : 0.0;
        const double octaves = (below > 0 && above > 0) ? (below + above) / 2 : below + above;
        const double w0 = 2.0 * M_PI * std::min(kCentresHz[i], 0.45 * rate) / rate;
        bands_[i].cosTerm = -2.0 * std::cos(w0);
        bands_[i].alpha =
            std::sin(w0) * std::sinh(std::log(2.0) / 2.0 * octaves * w0 / std::sin(w0));
    }
}

void Equalizer::Design(Band& b) const {
    const double a = std::pow(10.0, b.db / 40.0);
    const double a0 = 1.0 + b.alpha / a;
    b.b0 = static_cast<float>((1.0 + b.alpha * a) / a0);
    b.b1 = static_cast<float>(b.cosTerm / a0);
    b.b2 = static_cast<float>((1.0 - b.alpha * a) / a0);
    b.a1 = static_cast<float>(b.cosTerm / a0);
    b.a2 = static_cast<float>((1.0 - b.alpha / a) / a0);
}

void Equalizer::Reset() {
    for (Band& b : bands_) {
        b.s1[0] = b.s1[1] = b.s2[0] = b.s2[1] = 0.0f;
        if (b.db == 0.0f) b.active = false;
    }
    activeBands_ = static_cast<int>(
        std::count_if(bands_.begin(), bands_.end(), [](const Band& b) { return b.active; }));
}

void Equalizer::Process(float* buf, int frames, const std::array<float, kBands>& targetDb) {
    for (int at = 0; at < frames; at += kStep) {
        const int n = std::min(kStep, frames - at);
        float* x = buf + 2 * at;
        activeBands_ = 0;
        for (int i = 0; i < kBands; ++i) {
            Band& b = bands_[i];
            const float target = targetDb[i];
            if (b.db != target) {
                b.db += (target - b.db) * smoothing_;
                if (std::fabs(target - b.db) < kSnapDb) b.db = target;
                Design(b);
                b.active = true;
            } else if (b.active && b.db == 0.0f &&
                       std::max({std::fabs(b.s1[0]), std::fabs(b.s1[1]), std::fabs(b.s2[0]),
                                 std::fabs(b.s2[1])}) < kQuiet) {
                b.active = false; // flat and rung out: skip it from now on
                b.s1[0] = b.s1[1] = b.s2[0] = b.s2[1] = 0.0f;
            }
            if (!b.active) continue;
            ++activeBands_;
            const float b0 = b.b0, b1 = b.b1, b2 = b.b2, a1 = b.a1, a2 = b.a2;
            float l1 = b.s1[0], l2 = b.s2[0], r1 = b.s1[1], r2 = b.s2[1];
            for (int k = 0; k < n; ++k) {
                const float inL = x[2 * k], inR = x[2 * k + 1];
                const float outL = b0 * inL + l1;
                const float outR = b0 * inR + r1;
                l1 = b1 * inL - a1 * outL + l2;
                r1 = b1 * inR - a1 * outR + r2;
                l2 = b2 * inL - a2 * outL;
                r2 = b2 * inR - a2 * outR;
                x[2 * k] = outL;
                x[2 * k + 1] = outR;
            }
            b.s1[0] = l1, b.s2[0] = l2, b.s1[1] = r1, b.s2[1] = r2;
        }
    }
}

} // namespace spinx::engine
