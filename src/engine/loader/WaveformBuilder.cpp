#include "engine/loader/WaveformBuilder.h"

#include <algorithm>
#include <limits>

namespace spinx::engine {

namespace {
constexpr int kStepFrames = 4096;
}

bool WaveformBuilder::Start(const std::string& path, int64_t lengthFrames, int rate) {
    if (!decoder_.Open(path, nullptr, /*forOverview=*/true)) return false;
    total_ = std::max<int64_t>(1, decoder_.Length());
    decoded_ = 0;
    const int points = static_cast<int>(std::clamp<int64_t>(lengthFrames / 64, 1, kMaxPoints));
    result_ = std::make_shared<Waveform>();
    result_->durationMs = rate > 0 ? static_cast<int32_t>(lengthFrames * 1000 / rate) : 0;
    for (auto* v : {&result_->minLeft, &result_->minRight})
        v->assign(points, std::numeric_limits<float>::max());
    for (auto* v : {&result_->maxLeft, &result_->maxRight})
        v->assign(points, std::numeric_limits<float>::lowest());
    scratch_.resize(kStepFrames * 2);
    return true;
}

bool WaveformBuilder::Step() {
    if (!result_) return true;
    bool end = false;
    const int got = decoder_.Read(scratch_.data(), kStepFrames, &end);
    Waveform& w = *result_;
    const int points = w.points();
    for (int i = 0; i < got; ++i) {
        // The overview pass's length is an estimate at most a frame off the song's: clamp.
        const int p =
            static_cast<int>(std::min<int64_t>((decoded_ + i) * points / total_, points - 1));
        const float l = scratch_[2 * i], r = scratch_[2 * i + 1];
        w.minLeft[p] = std::min(w.minLeft[p], l);
        w.maxLeft[p] = std::max(w.maxLeft[p], l);
        w.minRight[p] = std::min(w.minRight[p], r);
        w.maxRight[p] = std::max(w.maxRight[p], r);
    }
    decoded_ += got;
    if (!end && got > 0) return false;
    // Points no decoded frame reached (a short final estimate) take their neighbour's values.
    for (int p = 0; p < points; ++p) {
        if (w.minLeft[p] <= w.maxLeft[p]) continue;
        const int from = p > 0 ? p - 1 : p;
        const bool have = w.minLeft[from] <= w.maxLeft[from];
        w.minLeft[p] = have ? w.minLeft[from] : 0.0f;
        w.maxLeft[p] = have ? w.maxLeft[from] : 0.0f;
        w.minRight[p] = have ? w.minRight[from] : 0.0f;
        w.maxRight[p] = have ? w.maxRight[from] : 0.0f;
    }
    decoder_.Close();
    return true;
}

} // namespace spinx::engine
