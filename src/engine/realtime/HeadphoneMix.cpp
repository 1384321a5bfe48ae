#include "engine/realtime/HeadphoneMix.h"

#include "engine/realtime/Gain.h"

#include <algorithm>
#include <cstring>

namespace spinx::engine {

HeadphoneMix::HeadphoneMix(int maxLookahead)
    : line_(static_cast<size_t>(maxLookahead + kMaxChunk) * 2) {}

float* HeadphoneMix::Begin(int frames) {
    std::memset(bus_, 0, sizeof(float) * 2 * frames);
    return bus_;
}

void HeadphoneMix::Mix(const float* master, int frames) {
    const float volume = volumeTarget_.load(std::memory_order_relaxed);
    const float cueTo = cueTarget_.load(std::memory_order_relaxed) * volume;
    const float masterTo = masterTarget_.load(std::memory_order_relaxed) * volume;
    ScaleGliding(bus_, frames, cueGain_, cueGain_, cueTo, cueTo);
    if (masterGain_ != 0.0f || masterTo != 0.0f)
        AddScaledGliding(bus_, master, frames, masterGain_, masterTo);
    cueGain_ = cueTo;
    masterGain_ = masterTo;
    // The master's limiter does not guard the headphones: a loud cue over the master is cut
    // off here rather than wrapped around by a device that takes floats past full scale.
    const Quad one = {1.0f, 1.0f, 1.0f, 1.0f}, minusOne = -one;
    int i = 0;
    for (; i + 4 <= 2 * frames; i += 4) {
        Quad x = LoadQuad(bus_ + i);
        x = x > one ? one : x;
        x = x < minusOne ? minusOne : x;
        StoreQuad(bus_ + i, x);
    }
    for (; i < 2 * frames; ++i)
        bus_[i] = std::clamp(bus_[i], -1.0f, 1.0f);
}

void HeadphoneMix::Align(int frames) {
    if (frames == held_) return;
    if (frames > held_) {
        const int add = frames - held_;
        std::memmove(line_.data() + 2 * add, line_.data(), sizeof(float) * 2 * held_);
        std::memset(line_.data(), 0, sizeof(float) * 2 * add);
    } else {
        std::memmove(line_.data(), line_.data() + 2 * (held_ - frames), sizeof(float) * 2 * frames);
    }
    held_ = frames;
}

void HeadphoneMix::Hold(int frames) {
    std::memcpy(line_.data() + 2 * held_, bus_, sizeof(float) * 2 * frames);
    held_ += frames;
}

const float* HeadphoneMix::Take(int frames) {
    if (held_ == 0) return bus_; // no look-ahead: the mix goes straight out
    Hold(frames);
    std::memcpy(out_, line_.data(), sizeof(float) * 2 * frames);
    held_ -= frames;
    std::memmove(line_.data(), line_.data() + 2 * frames, sizeof(float) * 2 * held_);
    return out_;
}

} // namespace spinx::engine
