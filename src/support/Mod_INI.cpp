#include "support/Mod_INI.h"

#include "support/DataLocation.h"
#include "support/FileIo.h"
#include "support/Mod_Diskinfo.h"
#include "support/ProgramFolder.h"

#include <cerrno>
#include <cstring>

namespace spinx {

namespace {

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

// A key that begins with "rem" is a comment too; old files rely on that to park lines.
bool IsComment(std::string_view line) {
    return (!line.empty() && line[0] == '\'') ||
           (line.size() >= 3 && EqualNoCase(line.substr(0, 3), "REM"));
}

bool IsHeader(std::string_view line) {
    return !line.empty() && line[0] == '[';
}

// The last character closes the header whatever it is. A lone "[" names no section.
std::string HeaderName(std::string_view line) {
    return line.size() < 2 ? std::string() : std::string(line.substr(1, line.size() - 2));
}

bool KeyMatches(std::string_view line, const std::string& key) {
    const auto eq = line.find('=');
    return eq != std::string_view::npos && EqualNoCase(line.substr(0, eq), key);
}

} // namespace

std::string INIFileName() {
    return SettingsFolder() + "/" + ProgramName() + ".ini";
}

bool EnsureINIFile(std::string* error) {
    const std::string file = INIFileName();
    return FileExists(file) || WriteFileAtomically(file, "", error);
}

std::vector<std::string> SplitIniLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

std::optional<std::string> FindIniValue(const std::vector<std::string>& lines,
                                        const std::string& key, const std::string& section) {
    bool inside = section.empty();
    for (const std::string& line : lines) {
        if (IsComment(line)) continue;
        if (IsHeader(line)) {
            inside = section.empty() || HeaderName(line) == section;
        } else if (inside && KeyMatches(line, key)) {
            return line.substr(line.find('=') + 1);
        }
    }
    return std::nullopt;
}

std::string RewriteIni(const std::vector<std::string>& lines, const std::string& key,
                       const std::string& value, const std::string& section) {
    const std::string entry = key + "=" + value;
    std::string out;
    auto emit = [&out](const std::string& line) {
        out += line;
        out += "\r\n";
    };
    bool written = false;
    bool sectionSeen = false;
    bool inside = false;
    std::string current;
    for (const std::string& line : lines) {
        // Comments pass untouched and leave the inside flag as the previous line set it.
        if (!IsComment(line)) {
            const bool header = IsHeader(line);
            if (header) {
                // A new key goes at the end of its section, before the next header.
                if (inside && !written) {
                    emit(entry);
                    written = true;
                }
                current = HeaderName(line);
            }
            inside = section.empty() || current == section;
            // A header is never taken for an entry, even with "=" in it: replacing it would
            // dissolve its section.
            if (inside && !header && KeyMatches(line, key)) {
                emit(entry);
                written = true;
                sectionSeen = true;
                continue;
            }
        }
        emit(line);
        if (inside) sectionSeen = true;
    }
    if (!written) {
        if (!sectionSeen && !section.empty()) emit("[" + section + "]");
        emit(entry);
    }
    return out;
}

std::string ReadINI(const std::string& file, const std::string& key,
                    const std::string& defaultValue, const std::string& section) {
    std::string text;
    // A missing, unreadable or odd file (a folder, a device) reads as one without the key.
    if (!ReadWholeFile(file.empty() ? INIFileName() : file, text)) return defaultValue;
    return FindIniValue(SplitIniLines(text), key, section).value_or(defaultValue);
}

bool WriteINI(const std::string& file, const std::string& key, const std::string& value,
              const std::string& section, std::string* error) {
    const std::string path = file.empty() ? INIFileName() : file;
    std::string text;
    std::string readError;
    if (!ReadWholeFile(path, text, &readError) && errno != ENOENT) {
        // Rewriting a file we cannot read would throw its other settings away.
        if (error) *error = readError;
        return false;
    }
    return WriteFileAtomically(path, RewriteIni(SplitIniLines(text), key, value, section), error);
}

} // namespace spinx
