#pragma once
// The equaliser curve as one value: what the deck's panel emits, the engine applies and the song
// table stores. Any thread.
#include <array>
#include <cstddef>
#include <cstdint>

namespace spinx {

inline constexpr std::size_t kEqBands = 10;
inline constexpr int kEqMin = -100;
inline constexpr int kEqMax = 100;

// Band 0 ("600") to band 9 ("13.7k"), each -100..100 (-100 boosts 12 dB, +100 cuts 12 dB).
using EqGains = std::array<std::int16_t, kEqBands>;

} // namespace spinx
