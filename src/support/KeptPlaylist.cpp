#include "support/KeptPlaylist.h"

#include "support/DataLocation.h"
#include "support/FileIo.h"
#include "support/Mod_INI.h"

namespace spinx {

namespace {
// The standard extended-M3U header doubles as the mark of a whole file of ours.
constexpr const char* kHeader = "#EXTM3U";
} // namespace

std::string KeptPlaylistPath() {
    return DataFolder() + "/playlist.m3u";
}

bool SaveKeptPlaylist(const std::string& file, const std::vector<std::string>& paths,
                      std::string* error) {
    std::string text = std::string(kHeader) + "\n";
    for (const std::string& path : paths)
        text += path + "\n";
    return WriteFileAtomically(file, text, error);
}

std::vector<std::string> LoadKeptPlaylist(const std::string& file) {
    std::string text;
    if (!ReadWholeFile(file, text)) return {};
    const std::vector<std::string> lines = SplitIniLines(text);
    if (lines.empty() || lines.front() != kHeader) return {};
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line.front() == '#') continue;
        // We only ever write full paths; anything else means the file is not what we wrote.
        if (line.front() != '/' || line.find('\0') != std::string::npos) return {};
        paths.push_back(line);
    }
    return paths;
}

} // namespace spinx
