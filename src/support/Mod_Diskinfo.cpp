#include "support/Mod_Diskinfo.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>

namespace spinx {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

namespace {

std::size_t LastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

bool StatPath(const std::string& path, struct stat& st) {
    if (::stat(path.c_str(), &st) == 0) return true;
    // A folder written the Windows way still resolves here.
    if (path.find('\\') == std::string::npos) return false;
    std::string unix = path;
    std::replace(unix.begin(), unix.end(), '\\', '/');
    return ::stat(unix.c_str(), &st) == 0;
}

bool MatchesPattern(const std::string& path) {
    const auto sep = LastSeparator(path);
    std::string folder = sep == std::string::npos ? std::string(".") : path.substr(0, sep);
    if (folder.empty()) folder = "/";
    std::replace(folder.begin(), folder.end(), '\\', '/');
    const std::string pattern = sep == std::string::npos ? path : path.substr(sep + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (::fnmatch(pattern.c_str(), entry->d_name, FNM_PERIOD) == 0) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

} // namespace

std::string GetFileName(const std::string& path) {
    const auto sep = LastSeparator(path);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string GetBaseName(const std::string& path) {
    std::string name = GetFileName(path);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

std::string GetExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

bool HasDriveLetter(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

bool IsUNCPath(const std::string& path) {
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

std::string GetRoot(const std::string& path) {
    if (IsUNCPath(path)) {
        // \\server\share: up to the separator that follows the share name.
        const auto afterServer = path.find_first_of("/\\", 2);
        if (afterServer == std::string::npos) return path;
        const auto afterShare = path.find_first_of("/\\", afterServer + 1);
        return afterShare == std::string::npos ? path : path.substr(0, afterShare);
    }
    if (HasDriveLetter(path)) return path.substr(0, 2);
    // Our own absolute paths hang from "/".
    if (!path.empty() && path[0] == '/') return "/";
    const auto sep = path.find_first_of("/\\");
    return sep == std::string::npos ? path : path.substr(0, sep);
}

std::string ShortPathName(const std::string& path) {
    struct stat st {};
    if (path.empty() || !StatPath(path, st)) return {};
    return path;
}

bool RootExists(const std::string& path) { return !ShortPathName(GetRoot(path)).empty(); }

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    if (GetFileName(path).find_first_of("*?") != std::string::npos) return MatchesPattern(path);
    struct stat st {};
    return StatPath(path, st);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && StatPath(path, st) && S_ISDIR(st.st_mode);
}

std::string GetPath(const std::string& input) {
    std::string path = input;
    if (path.size() == 2 && path[1] == ':') path += '\\';
    const auto star = path.find('*');
    if (star != std::string::npos) path.erase(star);
    const auto sep = LastSeparator(path);
    if (sep == std::string::npos) return {};
    std::string trimmed = path;
    while (!trimmed.empty() && IsSeparator(trimmed.back())) trimmed.pop_back();
    if (RootExists(trimmed) && FileExists(trimmed) && IsFolder(trimmed)) return trimmed;
    return path.substr(0, sep);
}

std::string StripTrailingSlash(const std::string& text) {
    std::string s = text;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && IsSeparator(s.back())) s.pop_back();
    return s;
}

} // namespace spinx
