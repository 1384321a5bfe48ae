// Unattended set figures: how fast spinx-render renders a two-deck set, and whether a 3-hour
// set renders within its budget without a stall. The songs are made once and repeated.
#include "Bench.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace spinx::bench;

constexpr double kSongSeconds = 180.0;

std::string RendererPath() {
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
    dir = dir.substr(0, dir.find_last_of('/') + 1);
    return dir + "spinx-render";
}

// Two 3-minute songs, a tone mixed into a pink-noise bed each (mixed, not appended: a `:` chain
// would make them six minutes long).
bool MakeSongs(const std::string& dir) {
    for (const char* f : {"220", "247"}) {
        const std::string wav = dir + "/set" + f + ".wav";
        const std::string make = std::string("sox -q -n -r 44100 -c 2 -b 16 '") + wav +
                                 "' synth 180 pinknoise vol 0.2 synth 180 sine mix " + f +
                                 " vol 0.3 && lame --silent -b 192 '" + wav + "' '" + dir + "/set" +
                                 f + ".mp3' && rm '" + wav + "'";
        if (std::system(make.c_str()) != 0) return false;
    }
    return true;
}

struct Run {
    double wallSeconds = -1;
    int stalls = -1;
};

// Renders a list of `songs` rows alternating the two songs; the renderer's summary gives stalls.
Run RenderList(const std::string& dir, int songs) {
    const std::string list = dir + "/set.m3u";
    if (FILE* f = std::fopen(list.c_str(), "w")) {
        for (int i = 0; i < songs; ++i)
            std::fprintf(f, "set%s.mp3\n", i % 2 ? "247" : "220");
        std::fclose(f);
    }
    const std::string command = "'" + RendererPath() + "' '" + list + "' '" + dir +
                                "/set.flac' --no-database 2>&1 | tail -1";
    Run run;
    const double start = NowSeconds();
    FILE* out = popen(command.c_str(), "r");
    if (!out) return run;
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, out) != nullptr;
    const int status = pclose(out);
    if (!read || status != 0) return run;
    run.wallSeconds = NowSeconds() - start;
    const std::string text(line);
    const auto at = text.rfind(" skipped, ");
    if (at != std::string::npos) run.stalls = std::atoi(text.c_str() + at + 10);
    return run;
}

} // namespace

SPINX_BENCH("setrender") {
    const std::string dir = TempFolder();
    if (!MakeSongs(dir)) {
        std::fprintf(stderr, "bench_setrender: cannot make the songs (sox and lame needed)\n");
        return;
    }
    const Run set = RenderList(dir, 10);
    Report("set_render_x_rt", set.wallSeconds > 0 ? 10 * kSongSeconds / set.wallSeconds : 0, 60,
           false);
    const Run soak = RenderList(dir, 60);
    Report("soak_3h_render_s", soak.wallSeconds, 240, true);
    Report("soak_3h_stalls", soak.stalls, 0, true);
}
