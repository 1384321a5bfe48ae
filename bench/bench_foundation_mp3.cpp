// Figures of the MP3 reader and the settings file: mp3id_us (GetMP3ID of a 10 MB file) and
// writeini_us (WriteINI of one key in a 1,000-line settings file), both median microseconds.
#include "Bench.h"

#include "mp3/Mod_MP3HeaderTag.h"
#include "support/Mod_INI.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

using namespace spinx::bench;

// A 10 MB file with real bytes throughout (no hole), a frame header at its start and a tag at
// its end.
std::string MakeSong(const std::string& path) {
    std::string block(1 << 20, '\x55');
    block.replace(0, 4, "\xFF\xFB\x90\x64");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (int i = 0; i < 10; ++i) {
        if (::write(fd, block.data(), block.size()) < 0) std::perror(path.c_str());
        block.replace(0, 4, "\0\0\0\0", 4);
    }
    const std::string tag = "TAG" + std::string(124, 'x') + '\x11';
    if (::write(fd, tag.data(), tag.size()) < 0) std::perror(path.c_str());
    ::close(fd);
    return path;
}

SPINX_BENCH("foundation") {
    const std::string song = MakeSong(TempFolder() + "/song.mp3");
    std::string id;
    const double us = MedianOf(501, [&] {
        const double t0 = NowSeconds();
        id = spinx::GetMP3ID(song);
        return (NowSeconds() - t0) * 1e6;
    });
    if (id.empty()) std::fprintf(stderr, "mp3id_us: no identifier for %s\n", song.c_str());
    Report("mp3id_us", us, 100, true);
}

SPINX_BENCH("foundation") {
    const std::string file = TempFolder() + "/spinx.ini";
    std::string text = "[Settings]\r\n";
    for (int i = 1; i < 1000; ++i)
        text += "Key " + std::to_string(i) + "=C:\\Some\\Folder\r\n";
    std::FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    int round = 0;
    const double us = MedianOf(101, [&] {
        const double t0 = NowSeconds();
        if (!spinx::WriteINI(file, "Key 500", "/music/" + std::to_string(round++), "Settings"))
            std::fprintf(stderr, "writeini_us: write failed\n");
        return (NowSeconds() - t0) * 1e6;
    });
    Report("writeini_us", us, 5000, true);
}

} // namespace
