#pragma once
// How the desk names an engine player and what it is doing. Any thread.
#include <cstdint>

namespace spinx {

// A player of the engine, 0..3.
using PlayerId = int16_t;

// What a player is doing. The numbers are the ones the deck's caption has always shown.
enum class PlayerStatus : int16_t { Playing = 1, Paused = 2, Stopped = 3 };

} // namespace spinx
