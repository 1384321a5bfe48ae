#include "engine/loader/WaveformBuilder.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace spinx::engine {

namespace {
constexpr int kSequentialFrames = 4096; // a straight read's step
} // namespace

bool WaveformBuilder::Start(const std::string& path, const Mp3Decoder& player) {
    if (!sampler_.Open(path, nullptr, /*forOverview=*/true)) return false;
    sampler_.BorrowSeekIndex(player);
    rate_ = player.Rate();
    length_ = std::max<int64_t>(1, player.Length());
    samplerLength_ = std::max<int64_t>(1, length_ * sampler_.Rate() / std::max(1, rate_));
    // Each stretch costs its MPEG frame and the few decoded ahead of it for the bit reservoir:
    // below this, a straight read costs less.
    sequentialAt_ = samplerLength_ <= int64_t{4} * kSamples * sampler_.FrameSamples() ? 0 : -1;
    next_ = 0;
    sampled_ = false;
    playedSinceSnapshot_ = 0;
    const int points = static_cast<int>(std::clamp<int64_t>(length_ / 64, 1, kMaxPoints));
    for (auto* v : {&peaks_.minLeft, &peaks_.minRight})
        v->assign(points, std::numeric_limits<float>::max());
    for (auto* v : {&peaks_.maxLeft, &peaks_.maxRight})
        v->assign(points, std::numeric_limits<float>::lowest());
    peaks_.durationMs = rate_ > 0 ? static_cast<int32_t>(length_ * 1000 / rate_) : 0;
    scratch_.resize(kSequentialFrames * 2);
    return true;
}

bool WaveformBuilder::Step() {
    if (sampled_) return true;
    bool end = false;
    if (sequentialAt_ >= 0) {
        const int got = sampler_.Read(scratch_.data(), kSequentialFrames, &end);
        Add(sequentialAt_, scratch_.data(), got, samplerLength_);
        sequentialAt_ += got;
        if (!end && got > 0) return false;
    } else {
        // One whole MPEG frame per stretch: a stretch across a frame boundary would decode two.
        const int64_t reached = sampler_.SeekToFrameStart(next_ * samplerLength_ / kSamples);
        if (reached >= 0) {
            const int frames = std::min(sampler_.FrameSamples(), kSequentialFrames);
            const int got = sampler_.Read(scratch_.data(), frames, &end);
            // The stretch's peaks stand for the point at its middle: spread over the points it
            // touches, one it barely reaches would show a few samples' peak as the whole.
            if (got > 0) {
                Peaks peaks;
                peaks.Add(scratch_.data(), got);
                peaks.MergeInto(peaks_, PointOf(reached + got / 2, samplerLength_));
            }
        }
        if (++next_ < kSamples) return false;
    }
    sampler_.Close();
    sampled_ = true;
    return true;
}

void WaveformBuilder::AddPlayed(int64_t first, const float* interleaved, int frames) {
    if (peaks_.points() == 0) return;
    Add(first, interleaved, frames, length_);
    playedSinceSnapshot_ += frames;
}

int WaveformBuilder::PointOf(int64_t frame, int64_t total) const {
    const int points = peaks_.points();
    return static_cast<int>(std::min<int64_t>(frame * points / total, points - 1));
}

void WaveformBuilder::Add(int64_t first, const float* s, int frames, int64_t total) {
    const int points = peaks_.points();
    for (int i = 0; i < frames;) {
        const int64_t f = first + i;
        const int p = PointOf(f, total);
        // Frames up to the next point's first one share this point (the last takes the rest).
        const int64_t next = (int64_t{p + 1} * total + points - 1) / points;
        const int n = p == points - 1 ? frames - i
                                      : static_cast<int>(std::min<int64_t>(frames - i, next - f));
        Peaks peaks;
        peaks.Add(s + 2 * i, n);
        peaks.MergeInto(peaks_, p);
        i += n;
    }
}

void WaveformBuilder::Peaks::Add(const float* s, int frames) {
    // Every decoded frame passes here: four samples (two frames, left and right alternating) at
    // a time in vector registers (GCC/Clang vector extensions), two such steps side by side so
    // that neither waits for the other.
    using Lanes = float __attribute__((vector_size(16)));
    Lanes lo = {lo0, lo1, lo0, lo1}, hi = {hi0, hi1, hi0, hi1}, lo2 = lo, hi2 = hi;
    const int pairs = frames / 2;
    const auto load = [s](int pair) {
        Lanes x;
        std::memcpy(&x, s + 4 * pair, sizeof x);
        return x;
    };
    int i = 0;
    for (; i + 2 <= pairs; i += 2) {
        const Lanes x = load(i), y = load(i + 1);
        lo = x < lo ? x : lo;
        hi = x > hi ? x : hi;
        lo2 = y < lo2 ? y : lo2;
        hi2 = y > hi2 ? y : hi2;
    }
    if (i < pairs) {
        const Lanes x = load(i);
        lo = x < lo ? x : lo;
        hi = x > hi ? x : hi;
    }
    lo = lo2 < lo ? lo2 : lo;
    hi = hi2 > hi ? hi2 : hi;
    lo0 = std::min(lo[0], lo[2]);
    lo1 = std::min(lo[1], lo[3]);
    hi0 = std::max(hi[0], hi[2]);
    hi1 = std::max(hi[1], hi[3]);
    if (frames % 2) {
        const float* x = s + 2 * (frames - 1);
        lo0 = std::min(lo0, x[0]);
        hi0 = std::max(hi0, x[0]);
        lo1 = std::min(lo1, x[1]);
        hi1 = std::max(hi1, x[1]);
    }
}

void WaveformBuilder::Peaks::MergeInto(Waveform& w, int p) const {
    w.minLeft[p] = std::min(w.minLeft[p], lo0);
    w.maxLeft[p] = std::max(w.maxLeft[p], hi0);
    w.minRight[p] = std::min(w.minRight[p], lo1);
    w.maxRight[p] = std::max(w.maxRight[p], hi1);
}

std::shared_ptr<const Waveform> WaveformBuilder::Snapshot() {
    playedSinceSnapshot_ = 0;
    auto w = std::make_shared<Waveform>(peaks_);
    const int points = w->points();
    auto reached = [&](int p) { return w->minLeft[p] <= w->maxLeft[p]; };
    auto copy = [&](int to, int from) {
        w->minLeft[to] = from < 0 ? 0.0f : w->minLeft[from];
        w->maxLeft[to] = from < 0 ? 0.0f : w->maxLeft[from];
        w->minRight[to] = from < 0 ? 0.0f : w->minRight[from];
        w->maxRight[to] = from < 0 ? 0.0f : w->maxRight[from];
    };
    // Each gap takes the point before it; a gap at the start takes the first point reached.
    int first = 0;
    while (first < points && !reached(first))
        ++first;
    for (int p = 0; p < points; ++p)
        if (!reached(p)) copy(p, p < first ? (first < points ? first : -1) : p - 1);
    return w;
}

} // namespace spinx::engine
