#include "engine/realtime/KeyLock.h"

#include "engine/EngineTypes.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace spinx::engine {

namespace {
using RubberBand::RubberBandStretcher;
// Real time, so ratios may change while it runs; the pitch method that glides without
// discontinuities through every ratio, 1.0 included; stereo kept together so the image holds.
constexpr double kMinSpeed = 0.5, kMaxSpeed = 2.0;
constexpr RubberBandStretcher::Options kOptions =
    RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFaster |
    RubberBandStretcher::OptionPitchHighConsistency | RubberBandStretcher::OptionChannelsTogether;
} // namespace

KeyLock::KeyLock(int rate)
    : stretcher_(std::make_unique<RubberBandStretcher>(rate, 2, kOptions, 1.0, 1.0)),
      fifo_(std::make_unique<float[]>(kFifoFrames * 2)),
      planes_(std::make_unique<float[]>(kMaxChunk * 4)) {
    stretcher_->setMaxProcessSize(kMaxChunk);
    Restart(1.0);
}

KeyLock::~KeyLock() = default;

void KeyLock::Prime() {
    // Every ratio in steps of 1 %, one chunk each: Rubber Band's resampler grows its tables to
    // the largest it meets, and later glides then find them big enough.
    const std::vector<float> silence(kMaxChunk * 2);
    for (double speed = kMinSpeed; speed <= kMaxSpeed + 1e-9; speed += 0.01) {
        SetSpeed(speed);
        Feed(silence.data(), kMaxChunk);
    }
    Restart(1.0);
}

void KeyLock::Restart(double speed) {
    stretcher_->reset();
    SetSpeed(speed);
    fed_ = taken_ = 0;
    fifoWrite_ = fifoRead_ = 0;
    // Silence in front, then the delay thrown away: the first output frame is the first input.
    std::memset(planes_.get(), 0, sizeof(float) * kMaxChunk * 2);
    float* in[2] = {planes_.get(), planes_.get() + kMaxChunk};
    discard_ = 0;
    for (int pad = static_cast<int>(stretcher_->getPreferredStartPad()); pad > 0;) {
        const int n = std::min(pad, kMaxChunk);
        stretcher_->process(in, static_cast<size_t>(n), false);
        pad -= n;
    }
    discard_ = static_cast<int>(stretcher_->getStartDelay());
    Drain();
}

void KeyLock::SetSpeed(double speed) {
    // Within an octave either way: beyond that the stretcher would size its buffers anew, and a
    // crawling turntable is not kept in key anyway.
    const double scale = 1.0 / std::clamp(speed, kMinSpeed, kMaxSpeed);
    if (scale == pitchScale_) return;
    pitchScale_ = scale;
    stretcher_->setPitchScale(scale);
}

void KeyLock::Feed(const float* interleaved, int frames) {
    float* left = planes_.get();
    float* right = planes_.get() + kMaxChunk;
    for (int i = 0; i < frames; ++i) {
        left[i] = interleaved[2 * i];
        right[i] = interleaved[2 * i + 1];
    }
    float* in[2] = {left, right};
    stretcher_->process(in, static_cast<size_t>(frames), false);
    fed_ += frames;
    Drain();
}

void KeyLock::Drain() {
    float* out[2] = {planes_.get() + 2 * kMaxChunk, planes_.get() + 3 * kMaxChunk};
    for (int avail = stretcher_->available(); avail > 0; avail = stretcher_->available()) {
        const int n = static_cast<int>(
            stretcher_->retrieve(out, static_cast<size_t>(std::min(avail, kMaxChunk))));
        if (n <= 0) break;
        const int skip = std::min(discard_, n);
        discard_ -= skip;
        for (int i = skip; i < n && fifoWrite_ - fifoRead_ < kFifoFrames; ++i) {
            const size_t at = static_cast<size_t>(fifoWrite_++ & (kFifoFrames - 1)) * 2;
            fifo_[at] = out[0][i];
            fifo_[at + 1] = out[1][i];
        }
    }
}

void KeyLock::Take(float* interleaved, int frames) {
    frames = std::min(frames, Ready());
    for (int i = 0; i < frames; ++i) {
        const size_t at = static_cast<size_t>(fifoRead_++ & (kFifoFrames - 1)) * 2;
        interleaved[2 * i] = fifo_[at];
        interleaved[2 * i + 1] = fifo_[at + 1];
    }
    taken_ += frames;
}

} // namespace spinx::engine
