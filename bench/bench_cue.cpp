// The headphones' cue: what the cue bus and the headphone mix cost the mixing thread, and how
// late the headphones' own device plays the mix.
#include "Bench.h"
#include "BenchAudio.h"
#include "engine/Aspinx.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using spinx::Aspinx;
using spinx::OutputKind;
using namespace spinx::bench;

constexpr int kRate = 44100;

// A minute of pink noise with a tone in it, as an MP3 in the scratch folder.
std::string CueSong() {
    const std::string dir = TempFolder();
    const std::string wav = dir + "/cue.wav", mp3 = dir + "/cue.mp3";
    const std::string make = "sox -q -n -r 44100 -c 2 -b 16 '" + wav +
                             "' synth 60 pinknoise synth 60 sine mix 330 vol 0.3 && lame --silent "
                             "-b 320 '" +
                             wav + "' '" + mp3 + "'";
    if (std::system(make.c_str()) != 0) return {};
    std::remove(wav.c_str());
    return mp3;
}

// Lets the engine's events through for `ms`, as the UI's timer does.
void Pump(Aspinx& engine, int ms) {
    const double end = NowSeconds() + ms / 1000.0;
    while (NowSeconds() < end) {
        engine.DeliverEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The first line of `command`'s output.
std::string FirstLine(const std::string& command) {
    std::string line;
    if (FILE* out = popen(command.c_str(), "r")) {
        char buffer[256];
        if (std::fgets(buffer, sizeof buffer, out)) line = buffer;
        pclose(out);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

} // namespace

// cue_cost: four busy decks (pitch, EQ, balance) rendered offline with two of them cued and
// the headphone mix made (the cue knob in the middle, so both sides of it work) and handed out
// beside the master, against the same four decks with no headphones, by the rendering thread's
// CPU time in alternating rounds.
SPINX_BENCH("engine.cue") {
    const std::string song = CueSong();
    if (song.empty()) {
        Report("cue_cost", -1, 1.15, true);
        return;
    }
    Aspinx engine(OutputKind::Offline);
    LoadBusyDecks(engine, song, 40);
    for (int16_t p = 0; p < 4; ++p)
        engine.PlaySound(p);
    engine.SetCueMix(50);
    std::vector<float> out(512 * 2), phones(512 * 2);
    auto seconds = [&](bool cue) {
        for (int16_t p = 0; p < 4; ++p)
            engine.SeekSound(p, 9000 * p);
        engine.SetCue(1, cue);
        engine.SetCue(2, cue);
        const double start = ThreadCpuSeconds();
        for (int at = 0; at < 4 * kRate; at += 512)
            engine.RenderOffline(out.data(), 512, cue ? phones.data() : nullptr);
        return ThreadCpuSeconds() - start;
    };
    Report("cue_cost", MedianOnOffRatio(9, seconds), 1.15, true);
}

// cue_output_latency_ms: a cued deck playing through the default device (the test server's
// null sink) with the headphones on a second null sink; from mixing to hearing on the
// headphones: their stream's buffer and the ring's average wait between the two devices, after
// four seconds of play. The server's own figure for the stream is printed beside it.
SPINX_BENCH("engine-cue-output") {
    SoundServer server;
    const std::string song = CueSong();
    const std::string module =
        server.Up() ? FirstLine("pactl load-module module-null-sink sink_name=spinx_phones") : "";
    if (song.empty() || module.empty()) {
        Report("cue_output_latency_ms", -1, 30, true);
        return;
    }
    std::system("pactl set-default-sink spinx_null");
    Aspinx engine(OutputKind::Default);
    QString why;
    if (!engine.WaitForOutput(5000) || !engine.SetHeadphoneOutput("spinx_phones", &why)) {
        std::printf("# no headphones: %s\n", why.toUtf8().constData());
        Report("cue_output_latency_ms", -1, 30, true);
        return;
    }
    engine.LoadSound(0, QString::fromStdString(song));
    engine.WaitIdle(10000);
    engine.SetVolume(0, 0);
    engine.SetCue(0, true);
    engine.PlaySound(0);
    Pump(engine, 4000);
    const std::string serverMs =
        FirstLine("pactl list sink-inputs | grep -B30 'media.name = \"Spinx headphones\"' | "
                  "grep 'Buffer Latency' | tail -1 | tr -dc '0-9'");
    if (!serverMs.empty())
        std::printf("# the server's buffer latency for the headphones' stream: %.1f ms\n",
                    std::atof(serverMs.c_str()) / 1000.0);
    Report("cue_output_latency_ms", engine.HeadphoneLatencyMs(), 30, true);
}
