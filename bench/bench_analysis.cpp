// Song analysis figures: how fast a song's loudness is measured, how far the fast pass may be
// from the exact one, and how fast the tempo, beat grid, downbeat and key are measured.
#include "Bench.h"
#include "engine/analysis/Loudness.h"
#include "engine/analysis/MusicAnalysis.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

using namespace spinx::bench;
using spinx::engine::LoudnessPass;
using spinx::engine::MeasureLoudness;

constexpr double kSongSeconds = 180.0;

// A 3-minute 320 kbps song: pink noise under a chord, broadband like music, with a quieter
// middle so the loudness gate has something to do.
std::string TestSong() {
    const std::string dir = TempFolder();
    const std::string wav = dir + "/analysis.wav", mp3 = dir + "/analysis.mp3";
    const std::string make = "sox -q -n -r 44100 -c 2 -b 16 '" + wav +
                             "' synth 180 pinknoise vol 0.3 : synth 180 sine 220 sine 330 vol 0.3 "
                             "tremolo 0.05 60 && lame --silent -b 320 '" +
                             wav + "' '" + mp3 + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "bench_analysis: cannot make the test song (sox and lame needed)\n");
        std::exit(2);
    }
    std::remove(wav.c_str());
    return mp3;
}

SPINX_BENCH("analysis") {
    const std::string song = TestSong();
    double fast = 0, exact = 0;
    const auto speed = [&](LoudnessPass pass, double* lufs) {
        return MedianOf(3, [&] {
            const double start = ThreadCpuSeconds();
            *lufs = MeasureLoudness(song, nullptr, pass).value_or(NAN);
            return kSongSeconds / (ThreadCpuSeconds() - start);
        });
    };
    Report("loudness_exact_x_rt", speed(LoudnessPass::Exact, &exact));
    Report("loudness_scan_x_rt", speed(LoudnessPass::Fast, &fast), 200, false);
    Report("loudness_fast_error_lu", std::fabs(fast - exact), 0.5, true);

    // Decoding included, as a worker analysing a new song pays for it; the song's seconds are
    // its decoded length.
    const double seconds = spinx::engine::DecodeSong(song).value().frames() / 44100.0;
    Report("analysis_x_rt",
           MedianOf(3,
                    [&] {
                        const double start = ThreadCpuSeconds();
                        spinx::engine::AnalyseMusicFile(song);
                        return seconds / (ThreadCpuSeconds() - start);
                    }),
           150, false);
}

} // namespace
