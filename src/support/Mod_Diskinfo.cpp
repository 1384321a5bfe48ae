#include "support/Mod_Diskinfo.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string_view>

namespace spinx {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

namespace {

std::size_t LastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

bool StatPath(const std::string& path, struct stat& st) {
    if (::stat(path.c_str(), &st) == 0) return true;
    // A folder written the Windows way still resolves here.
    if (path.find('\\') == std::string::npos) return false;
    std::string slashed = path;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return ::stat(slashed.c_str(), &st) == 0;
}

// Only "*" (any run) and "?" (one character) are wild, as in the Windows file search that
// playlists and settings were written against: "[" is an ordinary character of a file name.
bool WildMatch(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool MatchesPattern(const std::string& path) {
    const auto sep = LastSeparator(path);
    std::string folder = sep == std::string::npos ? std::string(".")
                         : sep == 0               ? std::string("/")
                                                  : path.substr(0, sep);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    const std::string pattern = sep == std::string::npos ? path : path.substr(sep + 1);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) return false;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && WildMatch(pattern, name)) return true;
    }
    return false;
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

bool HasDriveLetter(const std::string& path) {
    return path.size() >= 2 && path[1] == ':';
}

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

bool RootExists(const std::string& path) {
    return !ShortPathName(GetRoot(path)).empty();
}

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
    while (!trimmed.empty() && IsSeparator(trimmed.back()))
        trimmed.pop_back();
    if (RootExists(trimmed) && FileExists(trimmed) && IsFolder(trimmed)) return trimmed;
    // Our root has no drive letter to stand for it: "/" itself is the folder of "/a.mp3".
    if (sep == 0 && path[0] == '/') return "/";
    return path.substr(0, sep);
}

std::string StripTrailingSlash(const std::string& text) {
    std::string s = text;
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    while (!s.empty() && IsSeparator(s.back()))
        s.pop_back();
    return s;
}

} // namespace spinx
