#pragma once
// Per-buffer gain and mixing loops shared by the players and the master, written with vector
// types: GCC's -O2 leaves loops like these scalar, and they touch every sample of every buffer.
// Mixer's thread.
#include <cstdint>
#include <cstring>

namespace spinx::engine {

using Quad = float __attribute__((vector_size(16))); // two stereo frames
using IntQuad = int32_t __attribute__((vector_size(16)));

inline Quad LoadQuad(const float* p) {
    Quad q;
    std::memcpy(&q, p, sizeof q);
    return q;
}

inline void StoreQuad(float* p, Quad q) {
    std::memcpy(p, &q, sizeof q);
}

// |x| of the four samples at `p`: the sign bits cleared.
inline Quad AbsQuad(const float* p) {
    const IntQuad magnitude = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
    return Quad(IntQuad(LoadQuad(p)) & magnitude);
}

// Scales interleaved stereo by gains gliding linearly from (fromL, fromR) to (toL, toR) across
// `frames` (the last frame at the target). A held gain of exactly 1 changes nothing and costs
// nothing.
inline void ScaleGliding(float* buf, int frames, float fromL, float fromR, float toL, float toR) {
    int i = 0;
    if (fromL == toL && fromR == toR) {
        if (toL == 1.0f && toR == 1.0f) return;
        const Quad g = {toL, toR, toL, toR};
        for (; i + 2 <= frames; i += 2)
            StoreQuad(buf + 2 * i, LoadQuad(buf + 2 * i) * g);
    }
    const float stepL = (toL - fromL) / static_cast<float>(frames);
    const float stepR = (toR - fromR) / static_cast<float>(frames);
    for (; i < frames; ++i) {
        const bool last = i + 1 == frames;
        buf[2 * i] *= last ? toL : fromL + stepL * static_cast<float>(i + 1);
        buf[2 * i + 1] *= last ? toR : fromR + stepR * static_cast<float>(i + 1);
    }
}

// dst = dst x w + from x (1 - w), w rising across the buffer to 1 at its last frame: a hand-over
// from one way of making the sound to another.
inline void CrossfadeFrom(float* dst, const float* from, int frames) {
    for (int i = 0; i < frames; ++i) {
        const float w = static_cast<float>(i + 1) / static_cast<float>(frames);
        dst[2 * i] = dst[2 * i] * w + from[2 * i] * (1.0f - w);
        dst[2 * i + 1] = dst[2 * i + 1] * w + from[2 * i + 1] * (1.0f - w);
    }
}

// mix += buf over `frames` interleaved stereo frames.
inline void AddInto(float* mix, const float* buf, int frames) {
    int i = 0;
    for (; i + 2 <= frames; i += 2)
        StoreQuad(mix + 2 * i, LoadQuad(mix + 2 * i) + LoadQuad(buf + 2 * i));
    for (i *= 2; i < 2 * frames; ++i)
        mix[i] += buf[i];
}

// dst += src x g over `frames` interleaved stereo frames, g gliding linearly from `from` to
// `to` (the last frame at the target), as ScaleGliding does.
inline void AddScaledGliding(float* dst, const float* src, int frames, float from, float to) {
    int i = 0;
    if (from == to) {
        const Quad g = {to, to, to, to};
        for (; i + 2 <= frames; i += 2)
            StoreQuad(dst + 2 * i, LoadQuad(dst + 2 * i) + LoadQuad(src + 2 * i) * g);
    }
    const float step = (to - from) / static_cast<float>(frames);
    for (; i < frames; ++i) {
        const float g = i + 1 == frames ? to : from + step * static_cast<float>(i + 1);
        dst[2 * i] += src[2 * i] * g;
        dst[2 * i + 1] += src[2 * i + 1] * g;
    }
}

} // namespace spinx::engine
