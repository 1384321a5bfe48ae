#include "deck/Mod_MCI.h"

#include <cstdio>

namespace spinx {

std::string FormatTime(int32_t ms, bool ShowHours, bool ShowMillis) {
    if (ms < 1) {
        std::string text = ShowHours ? "--:" : "";
        text += "--.--";
        if (ShowMillis) text += ".---";
        return text;
    }
    const int32_t s = ms / 1000;
    const int32_t hours = s / 60 / 60;
    const int32_t rest = s - 3600 * hours;
    const int32_t minutes = rest / 60;
    const int32_t seconds = rest - 60 * minutes;
    const int32_t millis = ms - 1000 * s;

    char buffer[40];
    std::string text;
    if (ShowHours) {
        std::snprintf(buffer, sizeof buffer, "%02d:", hours);
        text += buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%02d.%02d", minutes, seconds);
    text += buffer;
    if (ShowMillis) {
        std::snprintf(buffer, sizeof buffer, ".%03d", millis);
        text += buffer;
    }
    return text;
}

} // namespace spinx
