// Player engine figures: decoding baseline, mixing cost, load and seek latency, memory, and the
// real-time callback's timing through the null output.
#include "Bench.h"
#include "engine/Aspinx.h"

#include <mpg123.h>

#include <QString>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
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
        // Pink noise under a slow chord: broadband like music, so decoding costs what music does.
        const std::string make =
            "sox -q -n -r 44100 -c 2 -b 16 '" + wav +
            "' synth 600 pinknoise vol 0.3 : synth 600 sine 220 sine 330 vol 0.3 2>/dev/null"
            " || sox -q -n -r 44100 -c 2 -b 16 '" +
            wav + "' synth 600 pinknoise vol 0.5";
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

// Plain libmpg123 decoding of the whole file (float, gapless), as the engine's worker does it.
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
    const double start = NowSeconds();
    for (;;) {
        size_t bytes = 0;
        const int r = mpg123_read(mh, reinterpret_cast<unsigned char*>(buf.data()),
                                  buf.size() * sizeof(float), &bytes);
        total += static_cast<long>(bytes / (2 * sizeof(float)));
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
    }
    const double seconds = NowSeconds() - start;
    mpg123_close(mh);
    mpg123_delete(mh);
    if (frames) *frames = total;
    return seconds;
}

// Loads `path` into `player` and spins on the events until it has loaded; returns the ms taken.
double LoadMs(Aspinx& engine, int16_t player, const std::string& path) {
    bool loaded = false;
    auto c = QObject::connect(&engine, &Aspinx::SoundLoaded,
                              [&](int16_t p, int16_t) { loaded |= p == player; });
    const double start = NowSeconds();
    engine.LoadSound(player, QString::fromStdString(path));
    while (!loaded && NowSeconds() - start < 10)
        engine.DeliverEvents();
    const double ms = (NowSeconds() - start) * 1000.0;
    QObject::disconnect(c);
    return ms;
}

// Lets the workers finish their after-load work (seek index scan, waveform overview).
void SettleWorkers(Aspinx& engine, int players) {
    const double start = NowSeconds();
    for (;;) {
        engine.DeliverEvents();
        int ready = 0;
        for (int16_t p = 0; p < players; ++p)
            ready += engine.GetWaveform(p) != nullptr;
        if (ready == players || NowSeconds() - start > 30) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Four decks of `song` with everything working: pitch 1080, balance off centre, a full EQ curve.
void LoadBusyDecks(Aspinx& engine, const std::string& song) {
    for (int16_t p = 0; p < 4; ++p) {
        engine.LoadSound(p, QString::fromStdString(song));
        engine.SetPitch(p, 1080);
        engine.SetBalance(p, 35);
        engine.SetVolume(p, 80);
        engine.SetEqualizer(p, true, spinx::EqGains{-60, 30, -20, 10, 40, -35, 15, -50, 25, -70});
    }
    engine.WaitIdle(10000);
    SettleWorkers(engine, 4);
}

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

} // namespace

SPINX_BENCH("engine") {
    const Songs& songs = TestSongs();

    // decode_only_x_rt and engine_overhead_1deck: the whole song, plain and through the engine.
    long frames = 0;
    DecodeSeconds(songs.info, &frames); // warm the page cache
    const double decode = MedianOf(3, [&] { return DecodeSeconds(songs.info, &frames); });
    Report("decode_only_x_rt", (frames / static_cast<double>(kRate)) / decode);
    {
        const double render = MedianOf(3, [&] {
            Aspinx engine(OutputKind::Offline);
            engine.LoadSound(0, QString::fromStdString(songs.info));
            engine.WaitIdle(10000);
            SettleWorkers(engine, 1); // the after-load work (index scan, overview) is not mixing
            bool done = false;
            QObject::connect(&engine, &Aspinx::SoundDone, [&](int16_t) { done = true; });
            std::vector<float> out(4096 * 2);
            engine.PlaySound(0);
            const double start = NowSeconds();
            while (!done)
                engine.RenderOffline(out.data(), 4096);
            return NowSeconds() - start;
        });
        Report("engine_overhead_1deck", render / decode, 1.25, true);
    }

    // render_4deck_x_rt: four busy decks, two minutes of output.
    {
        Aspinx engine(OutputKind::Offline);
        LoadBusyDecks(engine, songs.info);
        for (int16_t p = 0; p < 4; ++p) {
            engine.SeekSound(p, 60000 * p);
            engine.PlaySound(p);
        }
        std::vector<float> out(512 * 2);
        const int total = 120 * kRate;
        const double start = NowSeconds();
        for (int at = 0; at < total; at += 512)
            engine.RenderOffline(out.data(), 512);
        Report("render_4deck_x_rt", 120.0 / (NowSeconds() - start), 40, false);
    }

    // load_ms and load_noinfo_ms: LoadSound to SoundLoaded, median of 9, a deck's worth apart.
    for (const auto& [name, path, target] : {std::tuple{"load_ms", songs.info, 50.0},
                                             std::tuple{"load_noinfo_ms", songs.noInfo, 150.0}}) {
        Aspinx engine(OutputKind::Offline);
        const double ms = MedianOf(9, [&, path = path] {
            const double t = LoadMs(engine, 0, path);
            SettleWorkers(engine, 1);
            return t;
        });
        Report(name, ms, target, true);
    }

    // seek_ms: SeekSound to the first rendered frame of the new place, playing, median of 25.
    {
        Aspinx engine(OutputKind::Offline);
        engine.LoadSound(0, QString::fromStdString(songs.info));
        engine.WaitIdle(10000);
        SettleWorkers(engine, 1);
        engine.PlaySound(0);
        std::vector<float> out(32 * 2);
        for (int i = 0; i < 100; ++i)
            engine.RenderOffline(out.data(), 32);
        std::mt19937 random(7);
        const double ms = MedianOf(25, [&] {
            const int32_t target = static_cast<int32_t>(random() % 590000);
            const double start = NowSeconds();
            engine.SeekSound(0, target);
            // The position leaves the target once frames from the new place have been mixed.
            while (engine.GetSoundPosition(0) == target && NowSeconds() - start < 5)
                engine.RenderOffline(out.data(), 32);
            const double took = (NowSeconds() - start) * 1000.0;
            for (int i = 0; i < 50; ++i)
                engine.RenderOffline(out.data(), 32);
            return took;
        });
        Report("seek_ms", ms, 12, true);
    }

    // For comparison (no target): the same through the null output's real-time clock, where
    // the 5 ms fade-out and up to one 256-frame buffer come on top.
    {
        Aspinx engine(OutputKind::Null);
        engine.LoadSound(0, QString::fromStdString(songs.info));
        engine.WaitIdle(10000);
        SettleWorkers(engine, 1);
        engine.PlaySound(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::mt19937 random(11);
        const double ms = MedianOf(15, [&] {
            const int32_t target = static_cast<int32_t>(random() % 590000);
            const double start = NowSeconds();
            engine.SeekSound(0, target);
            while (engine.GetSoundPosition(0) == target && NowSeconds() - start < 5)
                std::this_thread::yield();
            const double took = (NowSeconds() - start) * 1000.0;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return took;
        });
        std::printf("# seek through the null output (real time): %.1f ms\n", ms);
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

    // callback_p999_us and xruns: four busy decks through the null output at 256-frame buffers.
    {
        double seconds = 60;
        if (const char* s = std::getenv("SPINX_BENCH_CALLBACK_SECONDS")) seconds = std::atof(s);
        Aspinx engine(OutputKind::Null);
        LoadBusyDecks(engine, songs.info);
        for (int16_t p = 0; p < 4; ++p)
            engine.PlaySound(p);
        engine.ResetOutputStats();
        const double start = NowSeconds();
        while (NowSeconds() - start < seconds) {
            engine.DeliverEvents(); // what the UI timer does
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const spinx::OutputStats stats = engine.GetOutputStats();
        std::printf("# callback median %.0f us, max %.0f us, %llu buffers; the clock thread woke "
                    "at most %.0f us late\n",
                    stats.p50CallbackUs, stats.maxCallbackUs,
                    static_cast<unsigned long long>(stats.buffers), stats.maxStartDelayUs);
        Report("callback_p999_us", stats.p999CallbackUs, 1500, true);
        Report("xruns", static_cast<double>(stats.lateBuffers), 0, true);
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
// held still; runs alternate, so a change in the machine's load hits both sides alike.
SPINX_BENCH("engine") {
    const Songs& songs = TestSongs();
    Aspinx engine(OutputKind::Offline);
    LoadBusyDecks(engine, songs.info);
    for (int16_t p = 0; p < 4; ++p)
        engine.PlaySound(p);
    std::vector<float> out(512 * 2);
    spinx::EqGains curve{-60, 30, -20, 10, 40, -35, 15, -50, 25, -70};
    auto seconds = [&](bool drag) {
        const double start = NowSeconds();
        for (int at = 0; at < 10 * kRate; at += 512) {
            if (drag) {
                curve[9] = static_cast<int16_t>(-70 + (at / 512) % 40);
                engine.SetEqualizer(0, true, curve);
            }
            engine.RenderOffline(out.data(), 512);
        }
        return NowSeconds() - start;
    };
    Report("eq_drag_cost", MedianOf(7, [&] { return seconds(true) / seconds(false); }), 1.10, true);
}

namespace {

// Total milliseconds of digital silence (both channels exactly zero for 1 ms or more) in a
// 16-bit stereo recording, leading and trailing silence left out.
double SilenceGapsMs(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<int32_t> frames;
    int32_t frame = 0;
    while (in.read(reinterpret_cast<char*>(&frame), sizeof frame))
        frames.push_back(frame);
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

} // namespace

// dropout_ms_under_load and output_latency_ms: four busy decks through the default device into
// a private PulseAudio null sink while busy loops hold every core; the sink's monitor is
// recorded and its silence gaps added up, and the stream latency is what the server reports.
SPINX_BENCH("engine-output") {
    const std::string dir = TempFolder() + "/pulse";
    setenv("PULSE_RUNTIME_PATH", (dir + "/run").c_str(), 1);
    setenv("PULSE_STATE_PATH", (dir + "/state").c_str(), 1);
    const std::string server = std::string(SPINX_PULSE_SCRIPT) + " ";
    if (std::system((server + "start " + dir).c_str()) != 0) {
        Report("dropout_ms_under_load", -1, 0, true); // no server, no figure
        return;
    }
    double seconds = 60;
    if (const char* s = std::getenv("SPINX_BENCH_DROPOUT_SECONDS")) seconds = std::atof(s);
    double latencyMs = -1;
    const std::string recording = dir + "/monitor.raw";
    {
        Aspinx engine(OutputKind::Default);
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
        while (NowSeconds() - start < seconds + 0.5) {
            engine.DeliverEvents(); // what the UI timer does
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stop = true;
        for (auto& t : loops)
            t.join();
    }
    std::system((server + "stop " + dir).c_str());
    Report("dropout_ms_under_load", SilenceGapsMs(recording), 0, true);
    Report("output_latency_ms", latencyMs, 30, true);
}
