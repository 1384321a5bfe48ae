#include "engine/realtime/Limiter.h"

#include "engine/realtime/Gain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace spinx::engine {

namespace {
constexpr int kLookaheadDivisor = 500; // rate / 500: 2 ms at most (88 frames at 44.1 kHz)
constexpr double kHoldSeconds = 0.020; // longer than half a cycle of the lowest bass notes
constexpr double kReleaseSeconds = 0.150;
// A released gain this close to 1 is 1, so that the limiter ends bit-exact (-0.0001 dB).
constexpr float kUnitySnap = 1e-5f;

float FramePeak(const float* frame) {
    return std::max(std::fabs(frame[0]), std::fabs(frame[1]));
}

// Four samples per step in vector registers: every quiet block is scanned whole.
bool AnyOver(const float* samples, int count) {
    const Quad ceiling = {Limiter::kCeiling, Limiter::kCeiling, Limiter::kCeiling,
                          Limiter::kCeiling};
    IntQuad over = {0, 0, 0, 0};
    int i = 0;
    for (; i + 4 <= count; i += 4)
        over |= AbsQuad(samples + i) > ceiling;
    int tail = 0;
    for (; i < count; ++i)
        tail |= std::fabs(samples[i]) > Limiter::kCeiling;
    return (over[0] | over[1] | over[2] | over[3] | tail) != 0;
}
} // namespace

Limiter::Limiter(int rate, int maxFrames)
    : lookahead_(std::max(1, rate / kLookaheadDivisor)),
      hold_(lookahead_ + 1 + static_cast<int>(rate * kHoldSeconds)),
      releaseCoef_(static_cast<float>(1.0 - std::exp(-1.0 / (kReleaseSeconds * rate)))),
      maxFrames_(maxFrames), line_(static_cast<size_t>(lookahead_ + maxFrames) * 2),
      block_(static_cast<size_t>(hold_), 1.0f), suffix_(static_cast<size_t>(hold_), 1.0f),
      lastBelow_(-hold_ - 1), average_(static_cast<size_t>(lookahead_), 1.0f),
      averageSum_(lookahead_), perLookahead_(1.0 / lookahead_) {}

void Limiter::ClearHold() {
    if (holdClear_) return;
    std::fill(suffix_.begin(), suffix_.end(), 1.0f);
    prefix_ = 1.0f;
    pos_ = 0;
    holdClear_ = true;
}

void Limiter::Reset() {
    held_ = 0;
    now_ = 0;
    ClearHold();
    lastBelow_ = -hold_ - 1;
    release_ = 1.0f;
    std::fill(average_.begin(), average_.end(), 1.0f);
    averagePos_ = 0;
    belowUnity_ = 0;
    averageSum_ = lookahead_;
}

inline float Limiter::NextGain(float peak) {
    // Branch-free throughout the hold: under a loud mix whether a frame is over the ceiling is
    // a coin toss, and a mispredicted branch costs more than the arithmetic. (A NaN peak needs
    // nothing.)
    const float need = kCeiling / std::max(kCeiling, peak);
    lastBelow_ = need < 1.0f ? now_ : lastBelow_;
    holdClear_ = false;
    block_[pos_] = need;
    prefix_ = std::min(prefix_, need);
    const float held = pos_ + 1 < hold_ ? std::min(suffix_[pos_ + 1], prefix_) : prefix_;
    if (++pos_ == hold_) {
        float least = 1.0f;
        for (int j = hold_ - 1; j >= 0; --j)
            suffix_[j] = least = std::min(least, block_[j]);
        prefix_ = 1.0f;
        pos_ = 0;
    }
    ++now_;

    if (held <= release_) {
        release_ = held;
    } else {
        release_ += (held - release_) * releaseCoef_;
        if (held == 1.0f && release_ > 1.0f - kUnitySnap) release_ = 1.0f;
    }

    const float old = average_[averagePos_];
    belowUnity_ += (release_ < 1.0f) - (old < 1.0f);
    averageSum_ += static_cast<double>(release_) - static_cast<double>(old);
    average_[averagePos_] = release_;
    if (++averagePos_ == lookahead_) averagePos_ = 0;
    if (belowUnity_ == 0) {
        averageSum_ = lookahead_; // drop the rounding the sum gathered while limiting
        return 1.0f;
    }
    return static_cast<float>(averageSum_ * perLookahead_);
}

void Limiter::Prime(const float* in, int frames) {
    frames = std::min(frames, Missing());
    std::memcpy(line_.data() + 2 * held_, in, sizeof(float) * 2 * frames);
    for (int i = 0; i < frames; ++i)
        NextGain(FramePeak(in + 2 * i));
    held_ += frames;
}

void Limiter::Process(const float* in, float* out, int frames) {
    float* line = line_.data();
    float* incoming = line + 2 * lookahead_;
    while (frames > 0) {
        const int n = std::min(frames, maxFrames_);
        const int keep = lookahead_;
        if (n >= keep && Idle() && !AnyOver(in, 2 * n)) {
            ClearHold();
            // Quiet: the output is the line, then the input, delayed; the input's last frames
            // become the line (stashed first, since `in` and `out` may be one buffer).
            const std::size_t lineBytes = sizeof(float) * 2 * keep;
            std::memcpy(incoming, in + 2 * (n - keep), lineBytes);
            std::memmove(out + 2 * keep, in, sizeof(float) * 2 * (n - keep));
            std::memcpy(out, line, lineBytes);
            std::memcpy(line, incoming, lineBytes);
            now_ += n;
            in += 2 * n;
            out += 2 * n;
            frames -= n;
            continue;
        }
        std::memcpy(incoming, in, sizeof(float) * 2 * n);
        if (Idle() && !AnyOver(incoming, 2 * n)) {
            ClearHold();
            std::memcpy(out, line, sizeof(float) * 2 * n);
            now_ += n;
        } else {
            for (int i = 0; i < n; ++i) {
                const float g = NextGain(FramePeak(incoming + 2 * i));
                // The clamp only catches the last bit of rounding in the averaged gain.
                out[2 * i] = std::clamp(line[2 * i] * g, -kCeiling, kCeiling);
                out[2 * i + 1] = std::clamp(line[2 * i + 1] * g, -kCeiling, kCeiling);
            }
        }
        std::memmove(line, line + 2 * n, sizeof(float) * 2 * lookahead_);
        in += 2 * n;
        out += 2 * n;
        frames -= n;
    }
}

} // namespace spinx::engine
