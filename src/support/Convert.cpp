#include "support/Convert.h"

#include <cmath>
#include <limits>

namespace spinx {

namespace {
template <class Int> Int Saturated(double value) {
    const double rounded = RoundHalfEven(value);
    if (std::isnan(rounded)) return 0;
    if (rounded <= static_cast<double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    if (rounded >= static_cast<double>(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(rounded);
}
} // namespace

double RoundHalfEven(double value) {
    // Spelled out rather than left to the floating-point rounding mode, which anyone may change.
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction > 0.5) return below + 1.0;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

int16_t RoundToInt16(double value) {
    return Saturated<int16_t>(value);
}

int32_t RoundToInt32(double value) {
    return Saturated<int32_t>(value);
}

} // namespace spinx
