// Sound-output figures on the real path (the default device, a private PulseAudio null sink):
// whether a Play after a rest is ever lost, how soon sound comes back after the server restarts,
// and what a short freeze of the whole program costs under load.
#include "Bench.h"
#include "BenchAudio.h"
#include "engine/Aspinx.h"
#include "engine/output/FallibleOutput.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

namespace {

using spinx::Aspinx;
using spinx::OutputKind;
using namespace spinx::bench;

// A steady stereo tone of `seconds` as a 320 kbps MP3 in the scratch folder.
std::string ToneSong(const std::string& name, double seconds, int hz) {
    const std::string dir = TempFolder(), wav = dir + "/" + name + ".wav",
                      mp3 = dir + "/" + name + ".mp3";
    const std::string make = "sox -R -D -q -n -r 44100 -c 2 -b 16 '" + wav + "' synth " +
                             std::to_string(seconds) + " sine " + std::to_string(hz) +
                             " vol 0.5 && lame --silent -b 320 '" + wav + "' '" + mp3 + "'";
    return std::system(make.c_str()) == 0 ? mp3 : std::string();
}

// Lets the engine's events through for `ms`, as the UI's timer does.
void Pump(Aspinx& engine, int ms) {
    const double end = NowSeconds() + ms / 1000.0;
    while (NowSeconds() < end) {
        engine.DeliverEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Waits up to `ms` for the output to mix `count` more buffers; false if it does not.
bool Mixes(Aspinx& engine, uint64_t count, int ms) {
    const uint64_t from = engine.GetOutputStats().buffers;
    const double end = NowSeconds() + ms / 1000.0;
    while (NowSeconds() < end) {
        if (engine.GetOutputStats().buffers >= from + count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

Aspinx* PlayingEngine(const std::string& song, int decks) {
    auto* engine = new Aspinx(OutputKind::Default);
    engine->WaitForOutput(5000);
    for (int16_t p = 0; p < decks; ++p) {
        engine->LoadSound(p, QString::fromStdString(song));
        engine->SetVolume(p, 40);
    }
    engine->WaitIdle(10000);
    return engine;
}

} // namespace

// output_lost_in_1000_wakes: a deck paused for a random stretch past the point where the output
// rests (shortened to 20 ms so that a thousand rests fit in a bench run), then played again; a
// wake is lost when the output mixes nothing within a second of the Play. Ordinary scheduling
// and two busy loops, as on a desktop; a lost output is replaced by a new engine so that the
// count goes on.
SPINX_BENCH("engine-wake") {
    SoundServer server;
    const std::string song = ToneSong("wake", 30, 440);
    if (!server.Up() || song.empty()) {
        Report("output_lost_in_1000_wakes", -1, 0, true);
        return;
    }
    int wakes = 1000;
    if (const char* n = std::getenv("SPINX_BENCH_WAKES")) wakes = std::atoi(n);
    spinx::engine::FallibleOutput::SetRestAfter(0.02);
    // As on a desktop under load: ordinary scheduling, other programs busy.
    BusyLoops loops(2);
    std::unique_ptr<Aspinx> engine(PlayingEngine(song, 1));
    OrdinaryScheduling();
    // A new null sink takes its first stream's audio in one long block before it settles on
    // the stream's latency: a second of play first, so that the count sees our output only.
    engine->PlaySound(0);
    Pump(*engine, 1000);
    std::mt19937 random(23);
    std::uniform_int_distribution<int> idleMs(60, 250);
    int lost = 0;
    for (int i = 0; i < wakes; ++i) {
        engine->PauseSound(0);
        if (engine->GetSoundPosition(0) > 20000) engine->SeekSound(0, 0); // never to its end
        Pump(*engine, idleMs(random));
        engine->PlaySound(0);
        if (!Mixes(*engine, 4, 1000)) {
            ++lost;
            std::printf("# wake %d lost (output %s)\n", i,
                        engine->ActiveOutput() == OutputKind::Null ? "null" : "still the device");
            engine.reset(PlayingEngine(song, 1));
            OrdinaryScheduling();
            continue;
        }
        Pump(*engine, 30);
    }
    spinx::engine::FallibleOutput::SetRestAfter(0.2);
    Report("output_lost_in_" + std::to_string(wakes) + "_wakes", lost, 0, true);
}

// server_restart_recover_ms: the sound server is stopped while a deck plays and a new one
// started; the time from the new server's start until the output has a stream on it again,
// median of three. A new null sink then holds its first stream for one of its long blocks (a
// second or two, whichever program plays: pacat's first sound comes as late), so the time until
// the deck is mixed again is printed beside it; the deck's position must run on through it all
// without a jump.
SPINX_BENCH("engine-restart") {
    SoundServer server;
    const std::string song = ToneSong("restart", 60, 440);
    if (!server.Up() || song.empty()) {
        Report("server_restart_recover_ms", -1, 2000, true);
        return;
    }
    std::unique_ptr<Aspinx> engine(PlayingEngine(song, 1));
    engine->PlaySound(0);
    Pump(*engine, 500);
    double ahead = 0, worstMixing = 0;
    int round = 0;
    const double ms = MedianOf(3, [&] {
        const int32_t before = engine->GetSoundPosition(0);
        const double t0 = NowSeconds();
        server.Stop();
        Pump(*engine, 300);
        const double up = NowSeconds();
        if (!server.Start()) return 1e6;
        SinkRecording recording(TempFolder() + "/restart" + std::to_string(round++) + ".raw");
        double back = -1, mixing = -1;
        while (NowSeconds() - up < 10 && mixing < 0) {
            Pump(*engine, 5);
            if (back < 0 && engine->ActiveOutput() == OutputKind::Default) back = NowSeconds();
            if (back >= 0 && Mixes(*engine, 2, 100)) mixing = NowSeconds();
        }
        Pump(*engine, 500);
        ahead =
            std::max(ahead, (engine->GetSoundPosition(0) - before) - 1000 * (NowSeconds() - t0));
        const double heard = recording.LongestSilenceMs();
        if (back < 0 || mixing < 0 || heard < 0) return 1e6;
        worstMixing = std::max(worstMixing, 1000 * (mixing - up));
        return 1000 * (back - up);
    });
    std::printf("# mixed again %.0f ms after the server's start at worst; the deck's position "
                "ran %.0f ms ahead of the clock at most (a jump would show here)\n",
                worstMixing, ahead);
    Report("server_restart_recover_ms", ms, 2000, true);
}

// freeze20_gap_ms: four busy decks while four busy loops (other processes) hold both cores; the
// whole program is stopped for 20 ms five times; the longest silence the sink heard, the worst
// of three rounds.
SPINX_BENCH("engine-freeze") {
    SoundServer server;
    const std::string song = ToneSong("freeze", 60, 440);
    if (!server.Up() || song.empty()) {
        Report("freeze20_gap_ms", -1, 30, true);
        return;
    }
    std::unique_ptr<Aspinx> engine(PlayingEngine(song, 4));
    for (int16_t p = 0; p < 4; ++p)
        engine->PlaySound(p);
    Pump(*engine, 1000);
    if (std::getenv("SPINX_BENCH_ORDINARY")) {
        OrdinaryScheduling();
        std::system(("chrt -o -a -p 0 $(cat '" + server.Dir() + "/run/pid')").c_str());
    }
    const std::string freeze = "kill -STOP " + std::to_string(getpid()) +
                               "; sleep 0.02; kill -CONT " + std::to_string(getpid());
    double worst = 0, calm = 0;
    for (int round = 0; round < 3; ++round) {
        BusyLoops loops(4);
        SinkRecording recording(TempFolder() + "/freeze" + std::to_string(round) + ".raw");
        Pump(*engine, 500);
        for (int i = 0; i < 5; ++i) {
            std::system(freeze.c_str());
            Pump(*engine, 400);
        }
        const double gap = recording.LongestSilenceMs();
        std::printf("# round %d: longest gap %.1f ms\n", round, gap);
        worst = std::max(worst, gap < 0 ? 1e6 : gap);
    }
    {
        BusyLoops loops(4);
        SinkRecording recording(TempFolder() + "/loaded.raw");
        Pump(*engine, 5000);
        calm = recording.LongestSilenceMs();
    }
    Report("freeze20_gap_ms", worst, 30, true);
    Report("load_gap_ms", calm < 0 ? 1e6 : calm, 10, true);
}
