// Feeds arbitrary bytes as the song table's EQ text: at most ten bands are set, each within
// range, and any curve encodes to a text that decodes to that curve in all ten bands.
#include "library/EqText.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    spinx::EqGains gains{};
    const int set = spinx::DecodeEq(text, gains);
    if (set < 0 || set > static_cast<int>(spinx::kEqBands)) __builtin_trap();
    for (const int band : gains)
        if (band < spinx::kEqMin || band > spinx::kEqMax) __builtin_trap();
    spinx::EqGains again{};
    if (spinx::DecodeEq(spinx::EncodeEq(gains), again) != static_cast<int>(spinx::kEqBands) ||
        again != gains)
        __builtin_trap();
    return 0;
}
