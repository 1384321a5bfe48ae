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
    // A name with a line break cannot be kept in a list of lines; it stays out of the file.
    for (const std::string& path : paths)
        if (path.find_first_of("\r\n") == std::string::npos) text += path + "\n";
    return WriteFileAtomically(file, text, error);
}

std::vector<std::string> LoadKeptPlaylist(const std::string& file) {
    std::string text;
    if (!ReadWholeFile(file, text)) return {};
    const std::vector<std::string> lines = SplitIniLines(text);
    // Binary bytes or another header mean the file is not what we wrote.
    if (lines.empty() || lines.front() != kHeader || text.find('\0') != std::string::npos)
        return {};
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        // We only write full paths; a line added by hand that is none is passed over.
        if (!lines[i].empty() && lines[i].front() == '/') paths.push_back(lines[i]);
    }
    return paths;
}

} // namespace spinx
