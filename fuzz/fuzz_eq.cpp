// Feeds an arbitrary EQ settings file to its reader: every band stays within range, and a file
// read whole is written back to a text that reads back the same curve.
#include "deck/EqFile.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    spinx::EqGains gains{};
    const bool complete = spinx::ReadEqFileText(text, gains);
    for (const int band : gains)
        if (band < spinx::kEqMin || band > spinx::kEqMax) __builtin_trap();
    if (!complete) return 0;
    spinx::EqGains again{};
    if (!spinx::ReadEqFileText(spinx::EqFileText(gains), again) || again != gains) __builtin_trap();
    return 0;
}
