// Player engine figures: decoding baseline, mixing and loading cost, load and seek latency,
// memory, and the real-time callback's timing. Costs are CPU time of the whole process (every
// engine thread), divided by plain decoding of the same file measured in the same run; waits
// sleep, so the waiting thread takes no CPU from the threads it waits for.
#include "Bench.h"
#include "BenchAudio.h"
#include "engine/Aspinx.h"

#include <mpg123.h>

#include <QString>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <random>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using spinx::Aspinx;
using spinx::OutputKind;
using namespace spinx::bench;

constexpr int kRate = 44100;
constexpr double kSongSeconds = 600.0;

// The 10-minute 44.1 kHz stereo test song, made once: 320 kbps with its Info frame, and the
// same without one (lame -t).
struct Songs {
    std::string info, noInfo;
};
const Songs& TestSongs() {
    static Songs songs = [] {
        Songs s;
        const std::string dir = TempFolder();
        const std::string wav = dir + "/song.wav";
        s.info = dir + "/song320.mp3";
        s.noInfo = dir + "/song320_noinfo.mp3";
        // Pink noise with a chord mixed in: broadband like music, so decoding costs what music
        // does. One synth of kSongSeconds, a second one mixed into it (not appended).
        const std::string length = std::to_string(static_cast<int>(kSongSeconds));
        const std::string make = "sox -q -n -r 44100 -c 2 -b 16 '" + wav + "' synth " + length +
                                 " pinknoise synth " + length +
                                 " sine mix 220 vol 0.3 2>/dev/null || sox -q -n -r 44100 -c 2 "
                                 "-b 16 '" +
                                 wav + "' synth " + length + " pinknoise vol 0.5";
        const std::string encode = "lame --silent -b 320 '" + wav + "' '" + s.info +
                                   "' && lame --silent -t -b 320 '" + wav + "' '" + s.noInfo + "'";
        if (std::system(make.c_str()) != 0 || std::system(encode.c_str()) != 0) {
            std::fprintf(stderr, "bench_engine: cannot make the test song (sox and lame needed)\n");
            std::exit(2);
        }
        std::remove(wav.c_str());
        return s;
    }();
    return songs;
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// CPU seconds (user + system) of every thread of this process so far.
double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

// CPU seconds `command` takes, children included; -1 if it fails.
double CommandCpuSeconds(const std::string& command) {
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    if (std::system(command.c_str()) != 0) return -1;
    getrusage(RUSAGE_CHILDREN, &after);
    return Seconds(after.ru_utime) + Seconds(after.ru_stime) - Seconds(before.ru_utime) -
           Seconds(before.ru_stime);
}

// A short nap for polling loops: long enough to leave the CPU to the engine's threads.
void Nap() {
    std::this_thread::sleep_for(std::chrono::microseconds(100));
}

// Plain libmpg123 decoding of the whole file (float, gapless), as the engine's worker does it;
// returns the CPU seconds it took.
double DecodeSeconds(const std::string& path, long* frames) {
    mpg123_init();
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_FORCE_STEREO | MPG123_QUIET, 0);
    mpg123_format_none(mh);
    mpg123_format2(mh, 0, MPG123_STEREO, MPG123_ENC_FLOAT_32);
    mpg123_open(mh, path.c_str());
    long rate = 0;
    int channels = 0, encoding = 0;
    mpg123_getformat(mh, &rate, &channels, &encoding);
    std::vector<float> buf(1024 * 2);
    long total = 0;
    const double start = ProcessCpuSeconds();
    for (;;) {
        size_t bytes = 0;
        const int r = mpg123_read(mh, reinterpret_cast<unsigned char*>(buf.data()),
                                  buf.size() * sizeof(float), &bytes);
        total += static_cast<long>(bytes / (2 * sizeof(float)));
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
    }
    const double seconds = ProcessCpuSeconds() - start;
    mpg123_close(mh);
    mpg123_delete(mh);
    if (frames) *frames = total;
    return seconds;
}

// Loads `path` into `player` and waits for SoundLoaded; returns the ms taken.
double LoadMs(Aspinx& engine, int16_t player, const std::string& path) {
    bool loaded = false;
    auto c = QObject::connect(&engine, &Aspinx::SoundLoaded,
                              [&](int16_t p, int16_t) { loaded |= p == player; });
    const double start = NowSeconds();
    engine.LoadSound(player, QString::fromStdString(path));
    for (engine.DeliverEvents(); !loaded && NowSeconds() - start < 10; engine.DeliverEvents())
        Nap();
    const double ms = (NowSeconds() - start) * 1000.0;
    QObject::disconnect(c);
    return ms;
}

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

// Renders the offline engine until player 0's song has ended.
void PlayToEnd(Aspinx& engine) {
    bool done = false;
    auto c = QObject::connect(&engine, &Aspinx::SoundDone, [&](int16_t) { done = true; });
    std::vector<float> out(4096 * 2);
    engine.PlaySound(0);
    while (!done)
        engine.RenderOffline(out.data(), 4096);
    QObject::disconnect(c);
}

// The time from SeekSound until the mixer has sent out the first frame of the new place (the
// position leaves the target), median of `runs` random seeks while playing. Each seek comes
// at a random moment, as a DJ's do: seeks in step with the output's writes would all land at
// the same point of its cycle.
double SeekMs(Aspinx& engine, int runs, std::mt19937& random, void (*between)(Aspinx&)) {
    return MedianOf(runs, [&] {
        const int32_t target = static_cast<int32_t>(random() % 590000);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        const double start = NowSeconds();
        engine.SeekSound(0, target);
        while (engine.GetSoundPosition(0) == target && NowSeconds() - start < 5)
            between(engine);
        const double took = (NowSeconds() - start) * 1000.0;
        for (int i = 0; i < 50; ++i)
            between(engine);
        return took;
    });
}

// Four busy decks playing through `engine` for `seconds`; prints the buffers' timing and
// reports it under the given names.
void CallbackFigures(Aspinx& engine, const std::string& song, double seconds,
                     const std::string& p999Name, const std::string& xrunsName, double target) {
    LoadBusyDecks(engine, song);
    for (int16_t p = 0; p < 4; ++p)
        engine.PlaySound(p);
    std::this_thread::sleep_for(std::chrono::seconds(1)); // a sound server's stream start-up
    engine.ResetOutputStats();
    const double start = NowSeconds();
    while (NowSeconds() - start < seconds) {
        engine.DeliverEvents(); // what the UI does
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const spinx::OutputStats stats = engine.GetOutputStats();
    std::printf("# %s: median %.0f us, max %.0f us, %llu buffers\n", p999Name.c_str(),
                stats.p50CallbackUs, stats.maxCallbackUs,
                static_cast<unsigned long long>(stats.buffers));
    Report(p999Name, stats.p999CallbackUs, target, true);
    Report(xrunsName, static_cast<double>(stats.lateBuffers), 0, true);
}

} // namespace

// The median of `rounds` ratios engine / reference, each round measuring both back to back, so
// that a change in the shared machine's load hits both sides of a ratio alike; prints them all.
template <class Engine, class Reference>
double AlternatingRatio(const char* name, int rounds, Engine engine, Reference reference) {
    std::vector<double> ratios;
    std::string runs;
    for (int i = 0; i < rounds; ++i) {
        const double e = engine();
        const double r = reference();
        ratios.push_back(r > 0 ? e / r : -1);
        runs += " " + std::to_string(ratios.back()).substr(0, 5);
    }
    std::printf("# %s rounds:%s\n", name, runs.c_str());
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

SPINX_BENCH("engine.overhead") {
    const Songs& songs = TestSongs();
    // decode_only_x_rt and engine_overhead_1deck: CPU seconds of the whole song, plain and
    // played through the engine to its end once loaded (all threads: mixing and decoding).
    long frames = 0;
    DecodeSeconds(songs.info, &frames); // warm the page cache
    std::vector<double> decodes;
    const double overhead = AlternatingRatio(
        "engine_overhead_1deck", 5,
        [&] {
            Aspinx engine(OutputKind::Offline);
            engine.LoadSound(0, QString::fromStdString(songs.info));
            engine.WaitIdle(10000);
            SettleWorkers(engine, 1);
            const double start = ProcessCpuSeconds();
            PlayToEnd(engine);
            return ProcessCpuSeconds() - start;
        },
        [&] {
            decodes.push_back(DecodeSeconds(songs.info, &frames));
            return decodes.back();
        });
    std::sort(decodes.begin(), decodes.end());
    Report("decode_only_x_rt", (frames / static_cast<double>(kRate)) / decodes[decodes.size() / 2]);
    Report("engine_overhead_1deck", overhead, 1.25, true);
}

SPINX_BENCH("engine.load") {
    const Songs& songs = TestSongs();
    // load_cpu_ratio: CPU seconds to load the song and play it to its end (scan, overview and
    // all), against `mpg123 -t` decoding the same file. The engine is started before the clock
    // runs, as a desk's is once for every song it loads; engine_start_ms says what that costs.
    std::vector<double> starts;
    const double ratio = AlternatingRatio(
        "load_cpu_ratio", 9,
        [&] {
            const double started = ProcessCpuSeconds();
            Aspinx player(OutputKind::Offline);
            const double start = ProcessCpuSeconds();
            starts.push_back(1000 * (start - started));
            player.LoadSound(0, QString::fromStdString(songs.info));
            player.WaitIdle(10000);
            PlayToEnd(player);
            SettleWorkers(player, 1);
            return ProcessCpuSeconds() - start;
        },
        [&] { return CommandCpuSeconds("mpg123 -q -t '" + songs.info + "' 2>/dev/null"); });
    if (ratio <= 0) std::printf("# mpg123 is missing (scripts/deps installs it)\n");
    Report("load_cpu_ratio", ratio, 1.3, true);
    std::sort(starts.begin(), starts.end());
    Report("engine_start_ms", starts[starts.size() / 2]);
}

SPINX_BENCH("engine.render") {
    const Songs& songs = TestSongs();
    // render_4deck_x_rt: four busy decks, two minutes of output, per CPU second of the process.
    {
        Aspinx engine(OutputKind::Offline);
        LoadBusyDecks(engine, songs.info);
        for (int16_t p = 0; p < 4; ++p) {
            engine.SeekSound(p, 60000 * p);
            engine.PlaySound(p);
        }
        std::vector<float> out(512 * 2);
        const int total = 120 * kRate;
        const double start = ProcessCpuSeconds();
        for (int at = 0; at < total; at += 512)
            engine.RenderOffline(out.data(), 512);
        Report("render_4deck_x_rt", 120.0 / (ProcessCpuSeconds() - start), 40, false);
    }
    // keylock_render_4deck_x_rt: the same with every deck 8 % fast and key-locked.
    {
        Aspinx engine(OutputKind::Offline);
        LoadBusyDecks(engine, songs.info);
        for (int16_t p = 0; p < 4; ++p) {
            engine.SetPitch(p, 1080);
            engine.SetKeyLock(p, true);
            engine.SeekSound(p, 60000 * p);
            engine.PlaySound(p);
        }
        std::vector<float> out(512 * 2);
        engine.RenderOffline(out.data(), 512); // the stretchers are made and primed
        const int total = 60 * kRate;
        const double start = ProcessCpuSeconds();
        for (int at = 0; at < total; at += 512)
            engine.RenderOffline(out.data(), 512);
        Report("keylock_render_4deck_x_rt", 60.0 / (ProcessCpuSeconds() - start), 20, false);
    }
}

SPINX_BENCH("engine") {
    const Songs& songs = TestSongs();
    double callbackSeconds = 60;
    if (const char* s = std::getenv("SPINX_BENCH_CALLBACK_SECONDS")) callbackSeconds = std::atof(s);

    // load_ms and load_noinfo_ms: LoadSound to SoundLoaded, median of 9, a deck's worth apart.
    for (const auto& [name, path, target] : {std::tuple{"load_ms", songs.info, 50.0},
                                             std::tuple{"load_noinfo_ms", songs.noInfo, 5.0}}) {
        Aspinx engine(OutputKind::Offline);
        const double ms = MedianOf(9, [&, path = path] {
            const double t = LoadMs(engine, 0, path);
            engine.WaitIdle(10000);
            SettleWorkers(engine, 1);
            return t;
        });
        Report(name, ms, target, true);
    }

    // For comparison (no target): the same offline, where the 5 ms fade-out and the output's
    // buffer cost nothing; only the decoder's seek is left.
    {
        Aspinx engine(OutputKind::Offline);
        engine.LoadSound(0, QString::fromStdString(songs.info));
        engine.WaitIdle(10000);
        SettleWorkers(engine, 1);
        engine.PlaySound(0);
        std::mt19937 random(7);
        const double ms = SeekMs(engine, 25, random, [](Aspinx& e) {
            float out[32 * 2];
            e.RenderOffline(out, 32);
        });
        std::printf("# seek offline (decoder only): %.2f ms\n", ms);
    }

    // engine_rss_mb_4decks: resident growth from before the engine to four songs loaded and
    // played a while, measured in a fresh process (this program run again for the figure
    // below), so that memory this process freed earlier and keeps cannot hide the growth.
    {
        double growth = -1;
        const std::string command = "SPINX_BENCH_RSS_CHILD='" + songs.info + "' /proc/" +
                                    std::to_string(getpid()) + "/exe engine-rss-child";
        if (FILE* child = popen(command.c_str(), "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, child))
                std::sscanf(line, "rss_growth_mb %lf", &growth);
            pclose(child);
        }
        Report("engine_rss_mb_4decks", growth, 24, true);
    }

    // seek_ms, callback_p999_us and xruns through the real output path (the default device:
    // a PulseAudio null sink) with ordinary scheduling; seek_ms on one playing deck, median of
    // 25; the callback's buffers with four busy decks at 256-frame buffers.
    {
        SoundServer server;
        Aspinx engine(OutputKind::Default);
        OrdinaryScheduling();
        if (!server.Up() || !engine.WaitForOutput(5000)) {
            std::printf("# no real output (PulseAudio would not start): figures not measured\n");
            for (const char* name : {"seek_ms", "callback_p999_us", "xruns"})
                Report(name, -1, -2, true);
        } else {
            engine.LoadSound(0, QString::fromStdString(songs.info));
            engine.WaitIdle(10000);
            SettleWorkers(engine, 1);
            engine.PlaySound(0);
            std::this_thread::sleep_for(std::chrono::seconds(1));
            std::mt19937 random(11);
            const double ms = SeekMs(engine, 25, random, [](Aspinx&) { Nap(); });
            Report("seek_ms", ms, 12, true);
            engine.StopSound(0);
            CallbackFigures(engine, songs.info, callbackSeconds, "callback_p999_us", "xruns", 1500);
        }
    }

    // callback_p999_us_root_fifo and xruns_root_fifo: the same four decks on the null output,
    // whose clock thread runs SCHED_FIFO when the program may ask for it (as root).
    {
        Aspinx engine(OutputKind::Null);
        CallbackFigures(engine, songs.info, callbackSeconds, "callback_p999_us_root_fifo",
                        "xruns_root_fifo", 1500);
    }
}

// The child side of engine_rss_mb_4decks; does nothing unless started by it.
SPINX_BENCH("engine-rss-child") {
    const char* song = std::getenv("SPINX_BENCH_RSS_CHILD");
    if (!song) return;
    const double before = ResidentMb();
    Aspinx engine(OutputKind::Offline);
    for (int16_t p = 0; p < 4; ++p)
        engine.LoadSound(p, QString::fromUtf8(song));
    engine.WaitIdle(10000);
    SettleWorkers(engine, 4);
    std::vector<float> out(512 * 2);
    for (int16_t p = 0; p < 4; ++p)
        engine.PlaySound(p);
    for (int i = 0; i < 2000; ++i)
        engine.RenderOffline(out.data(), 512); // laps every ring
    std::printf("rss_growth_mb %.3f\n", ResidentMb() - before);
}

// eq_drag_cost: four busy decks while one deck's band is dragged (a new curve every buffer, so
// the equaliser re-solves its band interaction each time), divided by the same with the curves
// held still, by the rendering thread's CPU time (other programs' time on a shared machine
// cannot count); runs alternate, so a change in the machine's speed hits both sides alike.
SPINX_BENCH("engine.eq") {
    const Songs& songs = TestSongs();
    Aspinx engine(OutputKind::Offline);
    LoadBusyDecks(engine, songs.info);
    for (int16_t p = 0; p < 4; ++p)
        engine.PlaySound(p);
    std::vector<float> out(512 * 2);
    spinx::EqGains curve{-60, 30, -20, 10, 40, -35, 15, -50, 25, -70};
    auto seconds = [&](bool drag) {
        const double start = ThreadCpuSeconds();
        for (int at = 0; at < 10 * kRate; at += 512) {
            if (drag) {
                curve[9] = static_cast<int16_t>(-70 + (at / 512) % 40);
                engine.SetEqualizer(0, true, curve);
            }
            engine.RenderOffline(out.data(), 512);
        }
        return ThreadCpuSeconds() - start;
    };
    Report("eq_drag_cost", MedianOnOffRatio(9, seconds), 1.10, true);
}

namespace {

// Milliseconds the machine's host has run something else on our CPUs ("steal" in /proc/stat,
// summed over them); -1 where it is not counted. A virtual CPU taken away stops every thread on
// it, whatever its priority.
double StolenMs() {
    std::ifstream stat("/proc/stat");
    std::string cpu;
    long long user, nice, system, idle, iowait, irq, softirq, steal;
    if (!(stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal) ||
        cpu != "cpu")
        return -1;
    return 1000.0 * static_cast<double>(steal) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Total milliseconds of digital silence (both channels exactly zero for 1 ms or more) in a
// 16-bit stereo recording, leading and trailing silence left out.
double SilenceGapsMs(const std::string& path) {
    const std::vector<int32_t> frames = RecordedFrames(path);
    const auto sound = [](int32_t f) { return f != 0; };
    const auto first = std::find_if(frames.begin(), frames.end(), sound);
    const auto last = std::find_if(frames.rbegin(), frames.rend(), sound).base();
    long total = 0, run = 0;
    for (auto f = first; f < last; ++f) {
        run = *f == 0 ? run + 1 : 0;
        if (run == kRate / 1000)
            total += run;
        else if (run > kRate / 1000)
            ++total;
    }
    return 1000.0 * static_cast<double>(total) / kRate;
}

// Where sound starts in `frames` at or after `from`, after at least 100 ms of digital silence
// (or at the very start); -1 if it never does.
long Onset(const std::vector<int32_t>& frames, long from) {
    long quiet = kRate / 10;
    for (long i = from; i < static_cast<long>(frames.size()); ++i) {
        if (frames[i] != 0 && quiet >= kRate / 10) return i;
        quiet = frames[i] == 0 ? quiet + 1 : 0;
    }
    return -1;
}

// How much later a deck is heard when Play finds the sound-card output resting (nothing has
// played for a second) than when the output runs: deck 0 (a short tone, then digital silence,
// so the output keeps running) starts from the rest, deck 1 one second later; the sink's
// recording puts their onsets (1000 - lag) ms apart.
double StartLagMs(const std::string& dir) {
    const std::string burst = dir + "/burst.mp3", tone = dir + "/tone.mp3";
    const std::string make =
        "sox -D -q -n -r 44100 -c 2 -b 16 " + dir + "/burst.wav synth 0.3 sine 440 pad 0 20 && " +
        "sox -D -q -n -r 44100 -c 2 -b 16 " + dir + "/tone.wav synth 20 sine 660 && " +
        "lame --silent -b 320 " + dir + "/burst.wav " + burst + " && lame --silent -b 320 " + dir +
        "/tone.wav " + tone;
    if (std::system(make.c_str()) != 0) return -1;
    Aspinx engine(OutputKind::Default);
    if (!engine.WaitForOutput(5000)) return -1;
    engine.LoadSound(0, QString::fromStdString(burst));
    engine.LoadSound(1, QString::fromStdString(tone));
    engine.WaitIdle(10000);
    const auto wait = [&](double seconds) {
        const double start = NowSeconds();
        while (NowSeconds() - start < seconds) {
            engine.DeliverEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    return MedianOf(5, [&] {
        const std::string recording = dir + "/start.raw";
        std::system(("timeout 4 parec --device=spinx_null.monitor --raw --format=s16le "
                     "--rate=44100 --channels=2 > '" +
                     recording + "' &")
                        .c_str());
        engine.SeekSound(0, 0);
        engine.SeekSound(1, 0);
        wait(1.5); // parec connects; the output rests
        engine.PlaySound(0);
        const double first = NowSeconds();
        while (NowSeconds() - first < 1.0)
            Nap();
        engine.PlaySound(1);
        wait(2.5);
        engine.StopSound(0);
        engine.StopSound(1);
        wait(0.5);
        const std::vector<int32_t> frames = RecordedFrames(recording);
        const long a = Onset(frames, 0), b = a < 0 ? -1 : Onset(frames, a + kRate / 2);
        return b < 0 ? 1e6 : 1000.0 - 1000.0 * static_cast<double>(b - a) / kRate;
    });
}

} // namespace

// start_lag_ms (above), dropout_ms_under_load and output_latency_ms: four busy decks through the
// default device into a private PulseAudio null sink while busy loops hold every core; the sink's
// monitor is recorded and its silence gaps added up, and the stream latency is what the server
// reports.
SPINX_BENCH("engine-output") {
    const std::string dir = TempFolder() + "/pulse";
    setenv("PULSE_RUNTIME_PATH", (dir + "/run").c_str(), 1);
    setenv("PULSE_STATE_PATH", (dir + "/state").c_str(), 1);
    const std::string server = std::string(SPINX_PULSE_SCRIPT) + " ";
    if (std::system((server + "start " + dir).c_str()) != 0) {
        Report("dropout_ms_under_load", -1, 0, true); // no server, no figure
        return;
    }
    Report("start_lag_ms", StartLagMs(dir), 5, true);
    double seconds = 60;
    if (const char* s = std::getenv("SPINX_BENCH_DROPOUT_SECONDS")) seconds = std::atof(s);
    double latencyMs = -1;
    const std::string recording = dir + "/monitor.raw";
    {
        Aspinx engine(OutputKind::Default);
        engine.WaitForOutput(5000);
        LoadBusyDecks(engine, TestSongs().info);
        for (int16_t p = 0; p < 4; ++p)
            engine.PlaySound(p);
        std::this_thread::sleep_for(std::chrono::seconds(1)); // the server starts the stream
        if (FILE* inputs = popen("pactl list sink-inputs", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, inputs))
                if (std::sscanf(line, " Buffer Latency: %lf usec", &latencyMs) == 1)
                    latencyMs /= 1000;
            pclose(inputs);
        }
        const std::string parec = "timeout " + std::to_string(seconds) +
                                  " parec --device=spinx_null.monitor --raw --format=s16le "
                                  "--rate=44100 --channels=2 > '" +
                                  recording + "' &";
        std::atomic<bool> stop{false};
        std::vector<std::thread> loops;
        for (int i = 0; i < 4; ++i)
            loops.emplace_back([&] {
                while (!stop.load(std::memory_order_relaxed)) {
                }
            });
        std::system(parec.c_str());
        const double start = NowSeconds();
        double stolen = StolenMs(), longestSteal = 0, burst = 0, total = 0;
        while (NowSeconds() - start < seconds + 0.5) {
            for (int i = 0; i < 10; ++i) {
                engine.DeliverEvents(); // what the UI timer does
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            const double now = StolenMs();
            burst = now > stolen ? burst + now - stolen : 0; // across 50 ms steps in a row
            longestSteal = std::max(longestSteal, burst);
            total += now - stolen;
            stolen = now;
        }
        // A gap that matches a stretch the host took our CPU away is the host's, not ours.
        if (stolen >= 0)
            std::printf("# host steal while recording: %.0f ms in all, the longest run %.0f ms\n",
                        total, longestSteal);
        stop = true;
        for (auto& t : loops)
            t.join();
    }
    std::system((server + "stop " + dir).c_str());
    Report("dropout_ms_under_load", SilenceGapsMs(recording), 0, true);
    Report("output_latency_ms", latencyMs, 30, true);
}
