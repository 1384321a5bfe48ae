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
      averageSum_(lookahead_), perLookahead_(1.0 / lookahead_),
      gains_(static_cast<size_t>(std::max(maxFrames, lookahead_))) {}

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

void Limiter::Gains(const float* in, int frames) {
    float* gains = gains_.data();
    // Step 1 for the whole block, two frames per vector step. (A NaN peak needs nothing.)
    const Quad ceiling = {kCeiling, kCeiling, kCeiling, kCeiling};
    int i = 0;
    for (; i + 2 <= frames; i += 2) {
        const Quad a = AbsQuad(in + 2 * i);
        const Quad swapped = __builtin_shufflevector(a, a, 1, 0, 3, 2);
        Quad peak = a > swapped ? a : swapped;
        peak = peak > ceiling ? peak : ceiling;
        const Quad need = ceiling / peak;
        gains[i] = need[0];
        gains[i + 1] = need[2];
    }
    for (; i < frames; ++i)
        gains[i] = kCeiling / std::max(kCeiling, FramePeak(in + 2 * i));

    // Steps 2-4, frame by frame, with the state in locals (stores into the float arrays could
    // otherwise alias the members and force a reload each frame). Branch-free through the
    // hold: under a loud mix whether a frame is over the ceiling is a coin toss, and a
    // mispredicted branch costs more than the arithmetic.
    float* block = block_.data();
    float* suffix = suffix_.data();
    float* average = average_.data();
    float prefix = prefix_, release = release_;
    int pos = pos_, averagePos = averagePos_, belowUnity = belowUnity_;
    double averageSum = averageSum_;
    int64_t now = now_, lastBelow = lastBelow_;
    for (i = 0; i < frames; ++i) {
        const float need = gains[i];
        lastBelow = need < 1.0f ? now : lastBelow;
        block[pos] = need;
        prefix = std::min(prefix, need);
        const float held = pos + 1 < hold_ ? std::min(suffix[pos + 1], prefix) : prefix;
        if (++pos == hold_) {
            float least = 1.0f;
            for (int j = hold_ - 1; j >= 0; --j)
                suffix[j] = least = std::min(least, block[j]);
            prefix = 1.0f;
            pos = 0;
        }
        ++now;

        if (held <= release) {
            release = held;
        } else {
            release += (held - release) * releaseCoef_;
            if (held == 1.0f && release > 1.0f - kUnitySnap) release = 1.0f;
        }

        const float old = average[averagePos];
        belowUnity += (release < 1.0f) - (old < 1.0f);
        averageSum += static_cast<double>(release) - static_cast<double>(old);
        average[averagePos] = release;
        if (++averagePos == lookahead_) averagePos = 0;
        if (belowUnity == 0) averageSum = lookahead_; // drop the rounding gathered while limiting
        gains[i] = belowUnity == 0 ? 1.0f : static_cast<float>(averageSum * perLookahead_);
    }
    prefix_ = prefix;
    release_ = release;
    pos_ = pos;
    averagePos_ = averagePos;
    belowUnity_ = belowUnity;
    averageSum_ = averageSum;
    now_ = now;
    lastBelow_ = lastBelow;
    holdClear_ = false;
}

void Limiter::Prime(const float* in, int frames) {
    frames = std::min(frames, Missing());
    std::memcpy(line_.data() + 2 * held_, in, sizeof(float) * 2 * frames);
    Gains(in, frames);
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
            Gains(incoming, n);
            // The clamp only catches the last bit of rounding in the averaged gain.
            const Quad high = {kCeiling, kCeiling, kCeiling, kCeiling};
            const Quad low = -high;
            const float* gains = gains_.data();
            int i = 0;
            for (; i + 2 <= n; i += 2) {
                const Quad g = {gains[i], gains[i], gains[i + 1], gains[i + 1]};
                Quad x = LoadQuad(line + 2 * i) * g;
                x = x < high ? x : high;
                StoreQuad(out + 2 * i, x > low ? x : low);
            }
            for (; i < n; ++i) {
                out[2 * i] = std::clamp(line[2 * i] * gains[i], -kCeiling, kCeiling);
                out[2 * i + 1] = std::clamp(line[2 * i + 1] * gains[i], -kCeiling, kCeiling);
            }
        }
        std::memmove(line, line + 2 * n, sizeof(float) * 2 * lookahead_);
        in += 2 * n;
        out += 2 * n;
        frames -= n;
    }
}

} // namespace spinx::engine
