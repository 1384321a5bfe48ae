#pragma once
// Number conversions with the rounding the desk has always used. Pure functions, any thread.
#include <cstdint>

namespace spinx {

// Nearest whole number, halves to the even neighbour (0.5 -> 0, 1.5 -> 2, 2.5 -> 2).
double RoundHalfEven(double value);

// 16-bit integer by RoundHalfEven; values beyond the range saturate instead of wrapping.
int16_t RoundToInt16(double value);
// 32-bit integer by RoundHalfEven; values beyond the range saturate instead of wrapping.
int32_t RoundToInt32(double value);

} // namespace spinx
