#include "engine/realtime/Equalizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace spinx::engine {

namespace {
using Pair = float __attribute__((vector_size(8))); // a stereo frame
inline Pair Splat(float v) {
    return Pair{v, v};
}
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
}

void Equalizer::Process(float* buf, int frames, const std::array<float, kBands>& targetDb) {
    for (int at = 0; at < frames; at += kStep) {
        const int n = std::min(kStep, frames - at);
        float* x = buf + 2 * at;
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
            // Left and right as one two-lane vector: half the instructions of two scalar runs.
            const Pair b0 = Splat(b.b0), b1 = Splat(b.b1), b2 = Splat(b.b2), a1 = Splat(b.a1),
                       a2 = Splat(b.a2);
            Pair s1 = {b.s1[0], b.s1[1]}, s2 = {b.s2[0], b.s2[1]};
            for (int k = 0; k < n; ++k) {
                Pair in;
                std::memcpy(&in, x + 2 * k, sizeof in);
                const Pair out = b0 * in + s1;
                s1 = b1 * in - a1 * out + s2;
                s2 = b2 * in - a2 * out;
                std::memcpy(x + 2 * k, &out, sizeof out);
            }
            b.s1[0] = s1[0], b.s1[1] = s1[1], b.s2[0] = s2[0], b.s2[1] = s2[1];
        }
    }
}

} // namespace spinx::engine
