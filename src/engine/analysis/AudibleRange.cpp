#include "engine/analysis/AudibleRange.h"

#include "engine/loader/WaveformBuilder.h"

#include <algorithm>
#include <cmath>

namespace spinx::engine {

AudibleRange FindAudibleRange(const Waveform& overview, double thresholdDbfs) {
    const int points = overview.points();
    const float threshold = static_cast<float>(std::pow(10.0, thresholdDbfs / 20.0));
    const auto loud = [&](int p) {
        const float peak = std::max({-overview.minLeft[p], overview.maxLeft[p],
                                     -overview.minRight[p], overview.maxRight[p]});
        return peak > threshold;
    };
    int first = 0;
    while (first < points && !loud(first))
        ++first;
    AudibleRange range;
    if (first == points) return range;
    int last = points - 1;
    while (!loud(last))
        --last;
    const auto timeOf = [&](int p) {
        return static_cast<int32_t>(static_cast<int64_t>(overview.durationMs) * p / points);
    };
    range.audible = true;
    range.startMs = timeOf(first);
    range.endMs = timeOf(last + 1);
    return range;
}

AudibleRange FindAudibleRange(const float* samples, int64_t frames, int channels, int rate,
                              double thresholdDbfs) {
    if (frames <= 0 || channels <= 0 || rate <= 0) return {};
    Waveform w;
    w.durationMs = static_cast<int32_t>(1000 * frames / rate);
    const auto points = static_cast<int>(std::min<int64_t>(WaveformBuilder::kMaxPoints, frames));
    for (auto* v : {&w.minLeft, &w.maxLeft, &w.minRight, &w.maxRight})
        v->resize(static_cast<size_t>(points));
    const int right = channels > 1 ? 1 : 0;
    for (int p = 0; p < points; ++p) {
        float minL = 0, maxL = 0, minR = 0, maxR = 0;
        for (int64_t f = frames * p / points; f < frames * (p + 1) / points; ++f) {
            const float l = samples[f * channels], r = samples[f * channels + right];
            minL = std::min(minL, l);
            maxL = std::max(maxL, l);
            minR = std::min(minR, r);
            maxR = std::max(maxR, r);
        }
        const auto at = static_cast<size_t>(p);
        w.minLeft[at] = minL;
        w.maxLeft[at] = maxL;
        w.minRight[at] = minR;
        w.maxRight[at] = maxR;
    }
    return FindAudibleRange(w, thresholdDbfs);
}

} // namespace spinx::engine
