// spinx-mp3info FILE...: prints what the program reads from each MP3 file, the song identifier
// included, as `Key=Value` lines: File=, the fields of the header record in their order, MP3ID=,
// and a blank line between files. Every file is read on its own, so a short file shows empty
// tag fields rather than those of the file before it. Control characters in tag text are
// written as \xNN so that each field stays on its line. A file that cannot be read gets only
// its File= line and an empty MP3ID=, a message on stderr, and the exit status becomes 1.
#include "mp3/Mod_MP3HeaderTag.h"
#include "spinx/Version.h"
#include "support/CommandLine.h"
#include "support/Mod_Diskinfo.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kHelp =
    "Usage: spinx-mp3info FILE...\n"
    "Prints what Spinx reads from each MP3 file as Key=Value lines: the MPEG audio header,\n"
    "the ID3v1 tag and the song identifier (MP3ID), with a blank line between files.\n"
    "Exit status 1 when a file cannot be read.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n";

std::string Printable(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

void Line(const char* key, const std::string& value) {
    std::printf("%s=%s\n", key, Printable(value).c_str());
}

void PrintRecord(const spinx::Mp3Info& info) {
    Line("Bitrate", std::to_string(info.Bitrate));
    Line("SampleRate", std::to_string(info.SampleRate));
    Line("Mode", info.Mode);
    Line("Emphasis", info.Emphasis);
    Line("Version", std::to_string(info.Version));
    Line("Layer", std::to_string(info.Layer));
    Line("Padding", info.Padding);
    Line("Protection", info.Protection);
    Line("Duration", std::to_string(static_cast<std::int64_t>(info.Duration)));
    Line("Copyright", info.Copyright);
    Line("Original", info.Original);
    Line("Private", info.Private);
    Line("HasTag", info.HasTag ? "True" : "False");
    Line("Title", info.Title);
    Line("Artist", info.Artist);
    Line("Album", info.Album);
    Line("Year", info.Year);
    Line("Comment", info.Comment);
    Line("Genre", info.Genre);
    Line("Track", info.Track);
}

} // namespace

int main(int argc, char** argv) {
    const spinx::CommandLine line =
        spinx::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), {});
    if (const int status =
            spinx::HandleCommandLine(line, "spinx-mp3info", SPINX_VERSION_TEXT, kHelp);
        status >= 0)
        return status;
    if (line.operands.empty()) {
        std::fprintf(stderr, "usage: spinx-mp3info FILE...\n");
        return 2;
    }
    int status = 0;
    for (const std::string& path : line.operands) {
        if (&path != &line.operands.front()) std::printf("\n");
        Line("File", path);
        spinx::Mp3Info info;
        const std::string id = spinx::GetMP3ID(path, info);
        if (id.empty()) {
            std::fflush(stdout);
            std::fprintf(stderr, "spinx-mp3info: %s: %s\n", path.c_str(),
                         spinx::FileExists(path) ? "cannot be read as a file" : "no such file");
            status = 1;
        } else {
            PrintRecord(info);
        }
        Line("MP3ID", id);
    }
    return status;
}
