#include "engine/analysis/AudibleRange.h"

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

} // namespace spinx::engine
