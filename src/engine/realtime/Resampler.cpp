#include "engine/realtime/Resampler.h"

#include "engine/realtime/SourceReader.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace spinx::engine {

namespace {
// libsoxr's variable-rate output lags its input by about two input frames (measured with an
// impulse at ratios 0.5..2); positions compensate so that song time is the sound heard.
constexpr double kLagFrames = 2.0;
constexpr double kMinRatio = 1e-5; // pitch 1 of an 8 kHz song at 44.1 kHz is 1.8e-4
constexpr int kGlideStep = 32;     // frames per ratio step while gliding
} // namespace

Resampler::Resampler(double maxRatio) : maxRatio_(maxRatio) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_VR);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_ = soxr_create(maxRatio_, 1.0, 2, &error, &io, &quality, &runtime);
    if (!soxr_ || error) {
        soxr_ = nullptr;
        return;
    }
    soxr_set_input_fn(soxr_, reinterpret_cast<soxr_input_fn_t>(&Resampler::Input), this,
                      kInputFrames);
    // Run it across the range here, on the constructing thread, so that libsoxr grows its
    // buffers (they only grow) to their working size now and never in the audio callback. The
    // engine's allocation test checks that this is enough.
    zerosToFeed_ = INT64_MAX / 2;
    for (int round = 0; round < 8; ++round) {
        for (double r : {1.0, maxRatio_, maxRatio_ / 2, kMinRatio * 1000, 1.0}) {
            Output(discard_, kMaxChunk, r);
            Output(discard_, 1, r);
        }
    }
    zerosToFeed_ = 0;
}

Resampler::~Resampler() {
    if (soxr_) soxr_delete(soxr_);
}

std::size_t Resampler::Input(void* self, const void** data, std::size_t requested) {
    return static_cast<Resampler*>(self)->Feed(data, requested);
}

std::size_t Resampler::Feed(const void** data, std::size_t requested) {
    const int want = static_cast<int>(std::min<std::size_t>(requested, kInputFrames));
    *data = input_;
    int got = 0;
    if (zerosToFeed_ > 0) {
        got = static_cast<int>(std::min<int64_t>(want, zerosToFeed_));
        std::memset(input_, 0, sizeof(float) * 2 * got);
        zerosToFeed_ -= got;
    } else if (reader_) {
        got = reader_->Read(input_, want, offline_);
        if (got == 0) {
            // Past the song's end the resampler gets silence to flush its tail. A ring run dry
            // (an underrun) also gets silence, and song time slips by what it covered.
            got = want;
            std::memset(input_, 0, sizeof(float) * 2 * got);
            if (!reader_->Ended()) songBase_ -= got;
        }
    } else {
        got = want;
        std::memset(input_, 0, sizeof(float) * 2 * got);
    }
    inCount_ += got;
    return static_cast<std::size_t>(got);
}

void Resampler::Output(float* dst, int frames, double ratio) {
    if (!soxr_) {
        std::memset(dst, 0, sizeof(float) * 2 * frames);
        return;
    }
    ratio = std::clamp(ratio, kMinRatio, maxRatio_); // beyond the creation ratio soxr misbehaves
    soxr_set_io_ratio(soxr_, ratio, 0);
    const std::size_t made = soxr_output(soxr_, dst, static_cast<std::size_t>(frames));
    if (made < static_cast<std::size_t>(frames))
        std::memset(dst + 2 * made, 0, sizeof(float) * 2 * (frames - made));
    outTime_ += ratio * frames;
}

double Resampler::Position() const {
    return outTime_ - kLagFrames * ratio_ - static_cast<double>(streamBase_) +
           static_cast<double>(songBase_);
}

void Resampler::Resync(SourceReader& reader, int64_t frame, double ratio, bool offline) {
    reader_ = &reader;
    offline_ = offline;
    const int64_t history = std::min<int64_t>(reader.HistoryBefore(frame), kPreRoll);
    reader.Rewind(frame - history);
    zerosToFeed_ = kPreRoll - history;
    streamBase_ = inCount_;
    songBase_ = frame - kPreRoll;
    // Discard output quickly (at the largest ratio) until it reaches `frame`, then land exactly.
    ratio_ = std::clamp(ratio, kMinRatio, maxRatio_);
    const double target = static_cast<double>(streamBase_ + kPreRoll) + kLagFrames * ratio_;
    for (;;) {
        const double remaining = target - outTime_;
        if (remaining <= 1e-9) break;
        const int steps =
            static_cast<int>(std::min<double>(std::ceil(remaining / maxRatio_), kMaxChunk));
        const double r = std::min(maxRatio_, remaining / steps);
        Output(discard_, steps, r);
    }
    reader_ = nullptr;
}

int Resampler::Process(SourceReader& reader, float* dst, int frames, double ratio, bool offline) {
    reader_ = &reader;
    offline_ = offline;
    ratio = std::clamp(ratio, kMinRatio, maxRatio_);
    int endAt = -1;
    const auto checkEnd = [&](int from, int count, double r) {
        if (endAt >= 0 || !reader.Ended()) return;
        const double end = static_cast<double>(reader.EndFrame());
        const double at = Position() - r * count; // position of frame `from` (before advancing)
        if (at + r * count < end) return;
        endAt = from + std::max(0, static_cast<int>(std::ceil((end - at) / r)));
    };
    if (ratio == ratio_) {
        Output(dst, frames, ratio);
        checkEnd(0, frames, ratio);
    } else {
        const double start = ratio_;
        for (int at = 0; at < frames; at += kGlideStep) {
            const int n = std::min(kGlideStep, frames - at);
            ratio_ = start + (ratio - start) * (at + n) / frames;
            Output(dst + 2 * at, n, ratio_);
            checkEnd(at, n, ratio_);
        }
    }
    ratio_ = ratio;
    reader_ = nullptr;
    if (endAt >= 0 && endAt < frames)
        std::memset(dst + 2 * endAt, 0, sizeof(float) * 2 * (frames - endAt));
    return endAt >= frames ? -1 : endAt;
}

} // namespace spinx::engine
