#include "mixer/Mod_Version.h"

#include "spinx/Version.h"

#include <cstdio>

namespace spinx {

std::string VersionString(int major, int minor, std::optional<int> revision) {
    char text[64];
    if (revision)
        std::snprintf(text, sizeof text, "%d.%02d.%04d", major, minor, *revision);
    else
        std::snprintf(text, sizeof text, "%d.%02d", major, minor);
    return text;
}

std::string ProgramVersionString() {
    return VersionString(SPINX_VERSION_MAJOR, SPINX_VERSION_MINOR, SPINX_VERSION_PATCH);
}

} // namespace spinx
