#include "engine/realtime/Resampler.h"

#include "engine/PlayerChannel.h"
#include "engine/realtime/Gain.h"
#include "engine/realtime/SourceReader.h"

#include <soxr.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace spinx::engine {

namespace {
// libsoxr's variable-rate output lags its input by about two input frames (measured with an
// impulse at ratios 0.5..2); positions compensate so that song time is the sound heard.
constexpr double kLagFrames = 2.0;
constexpr double kMinRatio = 1e-5; // pitch 1 of an 8 kHz song at 44.1 kHz is 1.8e-4
constexpr int kGlideStep = 32;     // frames per ratio step while gliding
// Output frames at one ratio before the constant-ratio resampler is asked for (and taken): a
// pitch fader being moved, or a nudge, stays with the variable-rate one.
constexpr int64_t kFixedAfterFrames = 16384;
// Song frames the constant-ratio resampler is fed in front of the hand-over point, so that its
// filter is full of song by then.
constexpr int kFixedPreRoll = 256;
// Hand-over points tried for the one whose song time lands closest to the other resampler's.
// Each step moves the fraction by the ratio's own fraction, which near 1 is small (0.001 at
// 1.001): enough tries to go once round. Those not taken cost a few microseconds of output.
constexpr int kAlignTries = 1024;
// How long an offline render waits for the worker's constant-ratio resampler before it goes on
// without, as a live one would.
constexpr int kOfflineOfferWaitMs = 2000;

// Interleaved float stereo at `ratio` (the largest one with SOXR_VR), pulling its input from
// `input` with `self`; null when libsoxr will not make it.
soxr* MakeSoxr(double ratio, unsigned long flags, soxr_input_fn_t input, void* self,
               std::size_t inputFrames) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, flags);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr* made = soxr_create(ratio, 1.0, 2, &error, &io, &quality, &runtime);
    if (made && error) soxr_delete(made);
    if (!made || error) return nullptr;
    soxr_set_input_fn(made, input, self, inputFrames);
    return made;
}
} // namespace

FixedRateResampler::FixedRateResampler(double ratio) : ratio_(ratio) {
    soxr_ = MakeSoxr(ratio, 0, reinterpret_cast<soxr_input_fn_t>(&FixedRateResampler::Input), this,
                     std::size(silence_) / 2);
    if (!soxr_) return;
    // Settle it in here, with the sizes the mixer asks for, so that it never allocates there
    // (the engine's allocation test checks that this is enough).
    float scratch[kMaxChunk * 2];
    for (int round = 0; round < 32; ++round) {
        Output(scratch, kMaxChunk);
        Output(scratch, 1);
    }
}

FixedRateResampler::~FixedRateResampler() {
    if (soxr_) soxr_delete(soxr_);
}

std::size_t FixedRateResampler::Input(void* self, const void** data, std::size_t requested) {
    auto* f = static_cast<FixedRateResampler*>(self);
    const int want = static_cast<int>(std::min<std::size_t>(requested, std::size(f->silence_) / 2));
    int got = want;
    if (f->owner_ && f->owner_->reader_) {
        got = f->owner_->ReadSong(f->input_, want, f->owner_->fixedSongBase_);
        *data = f->input_;
    } else {
        *data = f->silence_;
    }
    f->in_ += got;
    return static_cast<std::size_t>(got);
}

void FixedRateResampler::Output(float* dst, int frames) {
    const std::size_t made = soxr_output(soxr_, dst, static_cast<std::size_t>(frames));
    if (made < static_cast<std::size_t>(frames))
        std::memset(dst + 2 * made, 0, sizeof(float) * 2 * (frames - made));
    out_ += static_cast<int64_t>(made);
}

Resampler::Resampler(double maxRatio, FixedRateSlot& slot, WorkerSignal& worker)
    : slot_(slot), worker_(worker), maxRatio_(maxRatio) {
    soxr_ = MakeSoxr(maxRatio_, SOXR_VR, reinterpret_cast<soxr_input_fn_t>(&Resampler::Input), this,
                     kInputFrames);
    if (!soxr_) return;
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
    delete fixed_;
    // The workers have stopped: what lies in the hand-over is nobody's now.
    delete slot_.offered.exchange(nullptr, std::memory_order_acq_rel);
    delete slot_.retired.exchange(nullptr, std::memory_order_acq_rel);
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
        got = ReadSong(input_, want, songBase_);
    } else {
        got = want;
        std::memset(input_, 0, sizeof(float) * 2 * got);
    }
    inCount_ += got;
    return static_cast<std::size_t>(got);
}

int Resampler::ReadSong(float* dst, int want, int64_t& songBase) {
    const int got = reader_->Read(dst, want, offline_);
    if (got > 0) return got;
    // Past the song's end the resampler gets silence to flush its tail. A ring run dry (an
    // underrun) also gets silence, and song time slips by what it covered.
    std::memset(dst, 0, sizeof(float) * 2 * want);
    if (!reader_->Ended()) songBase -= want;
    return want;
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
    if (fixedActive_)
        return static_cast<double>(fixed_->out_) * fixed_->ratio_ -
               static_cast<double>(fixedStreamBase_) + static_cast<double>(fixedSongBase_);
    return outTime_ - kLagFrames * ratio_ - static_cast<double>(streamBase_) +
           static_cast<double>(songBase_);
}

void Resampler::Resync(SourceReader& reader, int64_t frame, double ratio, bool offline) {
    fixedActive_ = false;
    heldFrames_ = 0;
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

void Resampler::OutputHeld(float* dst, int frames, double ratio) {
    if (fixedActive_)
        fixed_->Output(dst, frames);
    else
        Output(dst, frames, ratio);
}

bool Resampler::FixedReady(double ratio) {
    if (ratio < FixedRateResampler::kMinRatio || ratio > FixedRateResampler::kMaxRatio)
        return false;
    if (fixed_ && fixed_->Ratio() == ratio) return true;
    // Only we take an offer off the slot (the worker fills it only when it is empty), and what
    // goes back, our old one or an offer for a ratio gone by, needs `retired` free.
    FixedRateResampler* offer = slot_.offered.load(std::memory_order_acquire);
    if (offer && !slot_.retired.load(std::memory_order_acquire)) {
        slot_.offered.store(nullptr, std::memory_order_release);
        if (offer->Ratio() == ratio) {
            if (fixed_) slot_.retired.store(fixed_, std::memory_order_release);
            fixed_ = offer;
            fixed_->owner_ = this;
            return true;
        }
        slot_.retired.store(offer, std::memory_order_release);
        worker_.Wake();
    }
    if (slot_.wanted.load(std::memory_order_relaxed) != ratio) {
        slot_.wanted.store(ratio, std::memory_order_release);
        worker_.Wake();
    }
    // An offline render borrows the caller's thread and may wait: it waits for the worker's
    // offer, so that the hand-over falls on the same frame in every run of a set.
    if (offline_ && WaitForOffer()) return FixedReady(ratio);
    return false;
}

bool Resampler::WaitForOffer() {
    for (int waited = 0; waited < kOfflineOfferWaitMs * 10; ++waited) {
        if (slot_.offered.load(std::memory_order_acquire) &&
            !slot_.retired.load(std::memory_order_acquire))
            return true;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return false;
}

bool Resampler::AlignFixed(double position) {
    FixedRateResampler& f = *fixed_;
    const double r = f.ratio_;
    // Output k stands at input time k * r; with song frame `song` fed at input index f.in_, that
    // is song time k * r - f.in_ + song. Of the outputs past the pre-roll, take the one that can
    // land closest to `position` (a whole song frame away from it but for a small fraction).
    const auto first =
        static_cast<int64_t>(std::ceil((static_cast<double>(f.in_) + kFixedPreRoll) / r));
    int64_t at = first, song = 0;
    double best = 2.0;
    for (int64_t k = first; k < first + kAlignTries; ++k) {
        const double t = static_cast<double>(k) * r - static_cast<double>(f.in_);
        const int64_t s = std::llround(position - t);
        const double miss = std::fabs(t + static_cast<double>(s) - position);
        if (miss < best) best = miss, at = k, song = s;
    }
    if (!reader_->Rewind(song)) return false; // too little history (a song's first moments)
    fixedStreamBase_ = f.in_;
    fixedSongBase_ = song;
    for (int64_t left = at - f.out_; left > 0;) {
        const int n = static_cast<int>(std::min<int64_t>(left, kMaxChunk));
        f.Output(discard_, n);
        left -= n;
    }
    fixedActive_ = true;
    return true;
}

void Resampler::EnterFixed(float* dst, int frames, double ratio) {
    const double position = Position();
    Output(other_, frames, ratio);
    if (!AlignFixed(position)) {
        std::memcpy(dst, other_, sizeof(float) * 2 * frames);
        heldFrames_ = kFixedAfterFrames / 2; // try again a little later
        return;
    }
    fixed_->Output(dst, frames);
    CrossfadeFrom(dst, other_, frames);
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
        heldFrames_ += frames;
        if (!fixedActive_ && heldFrames_ >= kFixedAfterFrames && FixedReady(ratio))
            EnterFixed(dst, frames, ratio);
        else
            OutputHeld(dst, frames, ratio);
        checkEnd(0, frames, ratio);
    } else if (fixedActive_) {
        // Leaving the held ratio: the variable-rate resampler takes over at the same place and
        // ratio, crossfaded (two renderings of one sound), and glides from the next buffer on.
        heldFrames_ = 0;
        const double position = Position();
        fixed_->Output(other_, frames);
        Resync(reader, std::llround(position), ratio_, offline);
        reader_ = &reader;
        offline_ = offline;
        Output(dst, frames, ratio_);
        checkEnd(0, frames, ratio_);
        CrossfadeFrom(dst, other_, frames);
        ratio = ratio_;
    } else {
        heldFrames_ = 0;
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
