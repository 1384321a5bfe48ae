#include "support/ProgramFolder.h"

#include "support/Mod_Diskinfo.h"

#include <unistd.h>

#include <climits>
#include <mutex>
#include <string_view>

namespace spinx {

namespace {
std::mutex gMutex;
std::string gOverride;

std::string ExecutablePath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string path = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    // A program rebuilt while it runs reads as "spinx (deleted)"; it keeps its own settings.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) path.erase(path.size() - kDeleted.size());
    return path;
}
} // namespace

std::string ProgramFolder() {
    {
        std::lock_guard lock(gMutex);
        if (!gOverride.empty()) return gOverride;
    }
    const std::string exe = ExecutablePath();
    const auto sep = exe.find_last_of('/');
    if (sep == std::string::npos) return ".";
    return sep == 0 ? std::string("/") : exe.substr(0, sep);
}

std::string ProgramName() {
    const std::string name = GetBaseName(ExecutablePath());
    return name.empty() ? std::string("spinx") : name;
}

void SetProgramFolder(const std::string& folder) {
    std::lock_guard lock(gMutex);
    gOverride = StripTrailingSlash(folder);
}

} // namespace spinx
