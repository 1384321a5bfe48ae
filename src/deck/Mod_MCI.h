#pragma once
// Time texts for the deck's labels, caption and tool tips. Pure functions, any thread.
#include <cstdint>
#include <string>

namespace spinx {

// `ms` as "hh:mm.ss.mmm": hours and their colon only with `ShowHours`, the milliseconds only with
// `ShowMillis`. Minutes run 00..59 even when the hours are hidden (61 minutes 5 seconds reads
// "01.05"). Anything below 1 ms reads as dashes: "--:--.--.---" in full.
std::string FormatTime(int32_t ms, bool ShowHours = true, bool ShowMillis = false);

} // namespace spinx
