#include "mixer/M3u.h"

#include "support/Mod_Diskinfo.h"

#include <algorithm>
#include <cctype>

namespace spinx {

namespace {
std::string Slashed(std::string_view path) {
    std::string slashed(path);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return slashed;
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
} // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (IsSeparator(folder.back())) return folder + name;
    return folder + "/" + name;
}

std::optional<std::string> M3uSongPath(const std::string& listFolder, std::string_view line) {
    if (IsBlank(line) || line.front() == '#') return std::nullopt;
    const std::string text(line);
    // Windows paths cannot be mapped to anything here; keeping them whole keeps them visible
    // and lets a save write them back unchanged.
    if (HasDriveLetter(text) || IsUNCPath(text)) return text;
    std::string slashed = Slashed(line);
    if (slashed.front() == '/') return slashed;
    return JoinPath(listFolder, slashed);
}

std::vector<std::string> M3uSongs(const std::string& listFolder, std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        text.remove_prefix(kByteOrderMark.size());
    std::vector<std::string> songs;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (std::optional<std::string> song = M3uSongPath(listFolder, line))
            songs.push_back(std::move(*song));
    }
    return songs;
}

std::string M3uLine(const std::string& listFolder, const std::string& songPath) {
    if (listFolder.empty()) return songPath;
    std::string base = Slashed(listFolder);
    while (!base.empty() && base.back() == '/')
        base.pop_back(); // the root itself becomes "", below which every "/..." path lies
    const std::string song = Slashed(songPath);
    // Below the folder means past a whole folder name: "/music/ab" is not inside "/music/a".
    // Names compare exactly, as the file system here tells "Rock" from "rock".
    if (song.size() > base.size() + 1 && song.compare(0, base.size(), base) == 0 &&
        song[base.size()] == '/')
        return song.substr(base.size() + 1);
    return songPath;
}

std::string M3uText(const std::string& listFolder, const std::vector<std::string>& songs) {
    std::string text;
    for (const std::string& song : songs) {
        text += M3uLine(listFolder, song);
        text += "\r\n";
    }
    return text;
}

PlaylistEntry EntryKind(const std::string& path) {
    const std::string extension = Upper(GetExtension(path));
    if (extension == "MP3") return PlaylistEntry::Song;
    if (extension == "M3U") return PlaylistEntry::Playlist;
    return PlaylistEntry::Other;
}

} // namespace spinx
