// limiter_cost: four loud, busy decks rendered with the master limiter working hard, against the
// same render without it, by the rendering thread's CPU time in alternating rounds.
#include "Bench.h"
#include "engine/AspinxImpl.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace spinx::bench;

constexpr int kRate = 44100;

// A minute of loud pink noise: four decks of it peak far past full scale.
std::string LoudSong() {
    const std::string dir = TempFolder();
    const std::string wav = dir + "/loud.wav", mp3 = dir + "/loud.mp3";
    const std::string make = "sox -q -n -r 44100 -c 2 -b 16 '" + wav +
                             "' synth 60 pinknoise vol 0.9 && lame --silent -b 320 '" + wav +
                             "' '" + mp3 + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "bench_limiter: cannot make the test song (sox and lame needed)\n");
        std::exit(2);
    }
    std::remove(wav.c_str());
    return mp3;
}

void WaitForLoads(spinx::AspinxImpl& engine) {
    std::vector<spinx::engine::Event> events;
    const double start = NowSeconds();
    while (NowSeconds() - start < 30) {
        engine.CollectEvents(events);
        int ready = 0;
        for (int p = 0; p < 4; ++p)
            ready += engine.GetWaveform(p) != nullptr; // the after-load work is done too
        if (!engine.LoadsPending() && ready == 4) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

SPINX_BENCH("limiter") {
    const std::string song = LoudSong();
    spinx::AspinxImpl engine(spinx::OutputKind::Offline);
    for (int p = 0; p < 4; ++p) {
        engine.Load(p, song);
        engine.SetPitch(p, 1080);
        engine.SetBalance(p, 35);
        engine.SetEqualizer(p, true, spinx::EqGains{-60, 30, -20, 10, 40, -35, 15, -50, 25, -70});
    }
    WaitForLoads(engine);
    for (int p = 0; p < 4; ++p)
        engine.Play(p);
    std::vector<float> out(512 * 2);
    // Both sides render the same four seconds of all four decks: each starts from the same
    // places (the song is a minute long; without this the decks ran out in the last rounds).
    auto renderSeconds = [&](bool limiter) {
        for (int p = 0; p < 4; ++p)
            engine.Seek(p, 9000 * p);
        engine.SetLimiter(limiter);
        const double start = ThreadCpuSeconds();
        for (int at = 0; at < 4 * kRate; at += 512)
            engine.RenderOffline(out.data(), 512);
        return ThreadCpuSeconds() - start;
    };
    const double cost = MedianOnOffRatio(9, renderSeconds);
    engine.SetLimiter(false);
    float peakWithout = 0; // how hard the limiter worked
    for (int at = 0; at < kRate; at += 512) {
        engine.RenderOffline(out.data(), 512);
        for (float s : out)
            peakWithout = std::max(peakWithout, std::fabs(s));
    }
    std::printf("# limiter_cost: without the limiter the mix peaked at %+.1f dBFS\n",
                20.0 * std::log10(peakWithout));
    Report("limiter_cost", cost, 1.10, true);
}
