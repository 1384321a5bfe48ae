// What a listener hears of an unattended set: twelve generated drum songs (kick, off-beat hats
// and a bass line at known tempos; one beatless pad; one 9 % faster than its neighbour) played
// by the desk's auto play through the controllers on the offline engine, once as the crossfader
// mixes and once with Beat Mix (which analyses each song as the desk does). The songs' beats are
// known from how they were made, so the figures measure the mix against the truth: beat offsets and
// tempo ratios while two songs overlap, loud music cut from outgoing songs, the 3 s loudness
// through each transition against the songs around it, the bass during overlaps, and dead air at
// the end of the set.
#include "Bench.h"

#include "desk/MixerController.h"
#include "engine/Aspinx.h"

#include <ebur128.h>

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace spinx;
using namespace spinx::bench;

constexpr int kRate = 44100;
constexpr int kTickFrames = kRate / 10;
constexpr int kBars = 24;

struct Song {
    std::string path;
    double bpm = 0; // 0: no beat
    double seconds = 0;
};

// One song: a bar of kick, off-beat hats and a bass note (its own pitch, so no two songs are
// the same file) repeated; the pad is a chord with no beat.
bool MakeSong(const std::string& dir, int index, double bpm, Song& song) {
    const std::string base = dir + "/song" + std::to_string(index);
    const double beat = bpm > 0 ? 60.0 / bpm : 0.5;
    const double bar = 4 * beat;
    const int bassHz = 50 + 3 * index;
    char command[2048];
    if (bpm > 0) {
        std::snprintf(
            command, sizeof command,
            "cd '%s' && sox -q -R -n -r %d -c 1 k%d.wav synth 0.1 sine 100:45 fade 0 0.1 0.08 pad "
            "0 "
            "%.6f repeat 3 && sox -q -R -n -r %d -c 1 h%d.wav synth 0.025 whitenoise vol 0.3 "
            "highpass 7000 fade 0 0.025 0.02 pad %.6f %.6f repeat 3 && sox -q -n -r %d -c 1 "
            "b%d.wav "
            "synth %.6f sine %d vol 0.35 fade 0.01 %.6f 0.05 && sox -q -m k%d.wav h%d.wav b%d.wav "
            "-c 2 bar%d.wav && sox -q bar%d.wav '%s.wav' repeat %d && lame --silent -b 192 "
            "'%s.wav' '%s.mp3'",
            dir.c_str(), kRate, index, beat - 0.1, kRate, index, beat / 2, beat / 2 - 0.025, kRate,
            index, bar, bassHz, bar, index, index, index, index, index, base.c_str(), kBars - 1,
            base.c_str(), base.c_str());
    } else {
        std::snprintf(
            command, sizeof command,
            "sox -q -R -n -r %d -c 2 '%s.wav' synth %.3f sine 220 sine 277 sine 330 vol 0.2 "
            "tremolo 0.3 40 fade 2 %.3f 2 && lame --silent -b 192 '%s.wav' '%s.mp3'",
            kRate, base.c_str(), kBars * 2.0, kBars * 2.0, base.c_str(), base.c_str());
    }
    if (std::system(command) != 0) return false;
    song = {base + ".mp3", bpm, bpm > 0 ? kBars * bar : kBars * 2.0};
    return true;
}

// One 100 ms step of the set as the desk played it.
struct Step {
    std::array<int32_t, 2> position{};
    std::array<int, 2> pitch{};
    std::array<bool, 2> playing{};
    std::array<std::string, 2> song;
};

struct SetRun {
    std::vector<float> mix;
    std::vector<Step> steps;
    double wallSeconds = 0;
};

SetRun PlaySet(const std::vector<Song>& songs, bool beatMix) {
    Aspinx engine(OutputKind::Offline);
    MixerController desk(engine);
    // The songs' music is what the desk's own analysis finds in the background.
    for (const Song& song : songs)
        desk.Songs().Append({song.path});
    desk.SetOverlap(8000);
    desk.SetBeatMix(beatMix);
    desk.SetAutoFade(true);
    desk.SetEachSongOnce(true);
    desk.SetAutoPlay(true);
    SetRun run;
    std::vector<float> buffer(2 * kTickFrames);
    const double start = NowSeconds();
    for (int tick = 0; tick < 20 * 60 * 10 && !desk.Finished(); ++tick) {
        desk.Tick();
        desk.Settle(5000);
        Step step;
        for (int p = 0; p < 2; ++p) {
            step.position[p] = engine.GetSoundPosition(p);
            step.pitch[p] = desk.Deck(p).Pitch().value;
            step.playing[p] = desk.Deck(p).Status() == PlayerStatus::Playing;
            step.song[p] = desk.Deck(p).Filename();
        }
        run.steps.push_back(step);
        engine.RenderOffline(buffer.data(), kTickFrames);
        run.mix.insert(run.mix.end(), buffer.begin(), buffer.end());
    }
    run.wallSeconds = NowSeconds() - start;
    return run;
}

// Short-term (3 s) loudness every 100 ms of the mix, in LUFS.
std::vector<double> ShortTermLoudness(const std::vector<float>& mix) {
    std::vector<double> loudness;
    ebur128_state* state = ebur128_init(2, kRate, EBUR128_MODE_S);
    for (std::size_t at = 0; at + 2 * kTickFrames <= mix.size(); at += 2 * kTickFrames) {
        ebur128_add_frames_float(state, mix.data() + at, kTickFrames);
        double lufs = -HUGE_VAL;
        ebur128_loudness_shortterm(state, &lufs);
        loudness.push_back(std::isfinite(lufs) ? lufs : -70);
    }
    ebur128_destroy(&state);
    return loudness;
}

// Energy below about 150 Hz in each 100 ms of the mix, in dB (a one-pole low-pass, twice).
std::vector<double> BassDb(const std::vector<float>& mix) {
    std::vector<double> bass;
    const double a = std::exp(-2 * M_PI * 150.0 / kRate);
    double y1 = 0, y2 = 0, sum = 0;
    for (std::size_t i = 0; i + 1 < mix.size(); i += 2) {
        const double x = 0.5 * (mix[i] + mix[i + 1]);
        y1 = (1 - a) * x + a * y1;
        y2 = (1 - a) * y1 + a * y2;
        sum += y2 * y2;
        if ((i / 2 + 1) % kTickFrames == 0) {
            bass.push_back(10 * std::log10(sum / kTickFrames + 1e-12));
            sum = 0;
        }
    }
    return bass;
}

struct Figures {
    int transitions = 0;
    int clashes = 0;
    double worstCutS = 0;
    double worstHoleLu = 0;
    double worstBassDb = -99;
    double meanOverlapS = 0;
    double deadAirS = 0;
};

Figures Measure(const SetRun& run, const std::vector<Song>& songs) {
    std::map<std::string, Song> byPath;
    for (const Song& song : songs)
        byPath[song.path] = song;
    const std::vector<double> loudness = ShortTermLoudness(run.mix);
    const std::vector<double> bass = BassDb(run.mix);
    Figures f;
    // Overlaps: runs of steps with both decks playing.
    std::size_t i = 0;
    double overlapSum = 0;
    while (i < run.steps.size()) {
        if (!(run.steps[i].playing[0] && run.steps[i].playing[1])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < run.steps.size() && run.steps[end].playing[0] && run.steps[end].playing[1])
            ++end;
        ++f.transitions;
        overlapSum += (end - i) / 10.0;
        // The deck that played first is the outgoing one.
        const int out = i > 0 && run.steps[i - 1].playing[0] ? 0 : 1;
        const Song a = byPath[run.steps[i].song[out]], b = byPath[run.steps[i].song[1 - out]];
        std::vector<double> offsets;
        bool tempoApart = false;
        for (std::size_t s = i; s < end; ++s) {
            const Step& step = run.steps[s];
            if (a.bpm <= 0 || b.bpm <= 0) continue;
            const double heardA = a.bpm * step.pitch[out] / 1000.0;
            const double heardB = b.bpm * step.pitch[1 - out] / 1000.0;
            tempoApart = tempoApart || std::fabs(heardA / heardB - 1) > 0.01;
            // Time to each song's next beat, as heard.
            const double beatA = 60000.0 / heardA, beatB = 60000.0 / heardB;
            const double phaseA = std::fmod(step.position[out] * 1000.0 / step.pitch[out], beatA);
            const double phaseB =
                std::fmod(step.position[1 - out] * 1000.0 / step.pitch[1 - out], beatB);
            const double off = std::fabs(phaseA - phaseB);
            offsets.push_back(std::min(off, std::min(beatA, beatB) - off));
        }
        if (!offsets.empty()) {
            std::sort(offsets.begin(), offsets.end());
            if (tempoApart || offsets[offsets.size() / 2] > 30) ++f.clashes;
        } else if (a.bpm > 0 && b.bpm > 0) {
            ++f.clashes;
        }
        // Loud music cut: the outgoing's position when it was last heard, against its end.
        const int32_t lastOut = run.steps[end - 1].position[out];
        f.worstCutS = std::max(f.worstCutS, (a.seconds * 1000 - lastOut) / 1000.0);
        // The transition's loudness against the songs around it (3 s before and after).
        if (i >= 40 && end + 40 < loudness.size()) {
            const double around = std::min(loudness[i - 10], loudness[end + 30]);
            for (std::size_t s = i; s < end + 30; ++s)
                f.worstHoleLu = std::max(f.worstHoleLu, around - loudness[s]);
            double louderBass = -99;
            for (std::size_t s = i - 40; s < i - 5; ++s)
                louderBass = std::max(louderBass, bass[s]);
            for (std::size_t s = end + 5; s < end + 40 && s < bass.size(); ++s)
                louderBass = std::max(louderBass, bass[s]);
            for (std::size_t s = i; s < end; ++s)
                f.worstBassDb = std::max(f.worstBassDb, bass[s] - louderBass);
        }
        i = end;
    }
    f.meanOverlapS = f.transitions > 0 ? overlapSum / f.transitions : 0;
    std::size_t quiet = 0;
    for (auto s = loudness.rbegin(); s != loudness.rend() && *s < -60; ++s)
        ++quiet;
    // The short-term meter trails by its 3 s window.
    f.deadAirS = std::max(0.0, quiet / 10.0);
    return f;
}

void ReportSet(const char* prefix, const Figures& f) {
    const std::string p = prefix;
    Report(p + "_transitions", f.transitions);
    Report(p + "_beat_clashes", f.clashes);
    Report(p + "_music_cut_s", f.worstCutS);
    Report(p + "_loudness_hole_lu", f.worstHoleLu);
    Report(p + "_overlap_bass_db", f.worstBassDb);
    Report(p + "_mean_overlap_s", f.meanOverlapS);
    Report(p + "_dead_air_s", f.deadAirS);
}

} // namespace

SPINX_BENCH("beatmix") {
    // The background scans report through the event loop's posted events.
    int argc = 1;
    char name[] = "spinx-bench";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    const std::string dir = TempFolder();
    const double tempos[] = {120, 123, 126, 124, 128, 0, 126, 125, 137.3, 128, 130, 127};
    std::vector<Song> songs;
    for (int i = 0; i < 12; ++i) {
        Song song;
        if (!MakeSong(dir, i, tempos[i], song)) {
            std::fprintf(stderr, "bench_beatmix: cannot make the songs (sox and lame needed)\n");
            return;
        }
        songs.push_back(song);
    }
    const SetRun plain = PlaySet(songs, false);
    ReportSet("crossfader", Measure(plain, songs));
    const SetRun mixed = PlaySet(songs, true);
    ReportSet("beatmix", Measure(mixed, songs));
    Report("beatmix_set_render_x_rt",
           mixed.wallSeconds > 0 ? mixed.mix.size() / 2.0 / kRate / mixed.wallSeconds : 0, 100,
           false);
}
