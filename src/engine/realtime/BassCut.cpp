#include "engine/realtime/BassCut.h"

#include <cmath>

namespace spinx::engine {

BassCut::BassCut(int rate) : step_(static_cast<float>(1.0 / (kGlideSeconds * rate))) {
    // Two Butterworth sections (Q 1/sqrt 2) make the Linkwitz-Riley slope DJ mixers use.
    const double w = 2 * M_PI * kCornerHz / rate;
    const double alpha = std::sin(w) / (2 * M_SQRT1_2);
    const double cosw = std::cos(w);
    const double a0 = 1 + alpha;
    c_[0] = static_cast<float>((1 + cosw) / 2 / a0);
    c_[1] = static_cast<float>(-(1 + cosw) / a0);
    c_[2] = c_[0];
    c_[3] = static_cast<float>(-2 * cosw / a0);
    c_[4] = static_cast<float>((1 - alpha) / a0);
}

void BassCut::Restart(bool cut) {
    for (Biquad& s : sections_)
        s = {};
    mix_ = cut ? 1.0f : 0.0f;
}

void BassCut::Process(float* buf, int frames, bool cut) {
    const float target = cut ? 1.0f : 0.0f;
    if (mix_ == 0.0f && target == 0.0f) {
        // The lows are in: the filter rests, and starts fresh when next wanted.
        for (Biquad& s : sections_)
            s = {};
        return;
    }
    for (int i = 0; i < frames; ++i) {
        mix_ = mix_ < target ? std::fmin(target, mix_ + step_) : std::fmax(target, mix_ - step_);
        for (int ch = 0; ch < 2; ++ch) {
            const float dry = buf[2 * i + ch];
            float x = dry;
            for (Biquad& s : sections_) {
                const float y = c_[0] * x + c_[1] * s.x1[ch] + c_[2] * s.x2[ch] - c_[3] * s.y1[ch] -
                                c_[4] * s.y2[ch];
                s.x2[ch] = s.x1[ch];
                s.x1[ch] = x;
                s.y2[ch] = s.y1[ch];
                s.y1[ch] = y;
                x = y;
            }
            buf[2 * i + ch] = dry + mix_ * (x - dry);
        }
    }
}

} // namespace spinx::engine
