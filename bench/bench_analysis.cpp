// Song analysis figures: how fast a song's loudness is measured, how far the fast pass may be
// from the exact one, and how fast the tempo, beat grid, downbeat, key and mix points are
// measured. Speeds are the song's decoded seconds per CPU second.
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

// A 3-minute 320 kbps song: a kick on every beat at 128 BPM over pink noise and a chord,
// broadband like music, with a quieter middle so the loudness gate has something to do; the
// beat makes every stage of the music analysis run.
std::string TestSong() {
    const std::string dir = TempFolder();
    const std::string kick = dir + "/kick.wav", pad = dir + "/pad.wav", wav = dir + "/song.wav";
    const std::string mp3 = dir + "/analysis.mp3", sox = "sox -q -n -r 44100 -c 2 -b 16 '";
    const std::string make =
        sox + kick + "' synth 0.46875 sine 160/45 fade q 0.002 0.46875 0.3 repeat 383 && " + sox +
        pad +
        "' synth 180 pinknoise synth 180 sine mix 220 synth 180 sine mix 330 vol 0.3 tremolo "
        "0.05 60 && sox -q -m '" +
        kick + "' '" + pad + "' '" + wav + "' && lame --silent -b 320 '" + wav + "' '" + mp3 + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "bench_analysis: cannot make the test song (sox and lame needed)\n");
        std::exit(2);
    }
    for (const std::string& made : {kick, pad, wav})
        std::remove(made.c_str());
    return mp3;
}

SPINX_BENCH("analysis") {
    const std::string song = TestSong();
    const double seconds = spinx::engine::DecodeSong(song).value().frames() / 44100.0;
    double fast = 0, exact = 0;
    const auto speed = [&](LoudnessPass pass, double* lufs) {
        return MedianOf(3, [&] {
            const double start = ThreadCpuSeconds();
            *lufs = MeasureLoudness(song, nullptr, pass).value_or(NAN);
            return seconds / (ThreadCpuSeconds() - start);
        });
    };
    Report("loudness_exact_x_rt", speed(LoudnessPass::Exact, &exact));
    Report("loudness_scan_x_rt", speed(LoudnessPass::Fast, &fast), 200, false);
    Report("loudness_fast_error_lu", std::fabs(fast - exact), 0.5, true);

    // Decoding included, as a worker analysing a new song pays for it.
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
