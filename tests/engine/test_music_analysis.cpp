// What a DJ hears, measured: tempo and beat grid, the first bar, and the key, on songs made here
// from synthesized drum hits and chords whose true values are known exactly.
#include "EngineTestUtil.h"
#include "engine/analysis/MusicAnalysis.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <set>

namespace spinx::test {
namespace {

using engine::AnalyseMusic;
using engine::MusicAnalysis;
using engine::MusicKey;
using engine::Tempo;

constexpr int kRate = 44100;

// A mono song built by adding short sounds at given times.
class Song {
  public:
    explicit Song(double seconds) : samples_(static_cast<size_t>(seconds * kRate)) {}
    void Add(double at, const std::vector<float>& sound, float gain = 1.0f) {
        const auto start = static_cast<size_t>(std::lround(at * kRate));
        for (size_t i = 0; i < sound.size() && start + i < samples_.size(); ++i)
            samples_[start + i] += gain * sound[i];
    }
    MusicAnalysis Analyse() const {
        return AnalyseMusic(samples_.data(), static_cast<int64_t>(samples_.size()), 1, kRate);
    }
    // As a mono MP3 in the scratch folder, made by lame from the raw samples.
    std::string Mp3(const std::string& name) const {
        const std::string raw = ScratchDir() + "/" + name + ".raw";
        const std::string mp3 = ScratchDir() + "/" + name + ".mp3";
        std::ofstream out(raw, std::ios::binary);
        for (const float v : samples_) {
            const auto s = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767));
            out.write(reinterpret_cast<const char*>(&s), sizeof s);
        }
        out.close();
        Shell("lame --silent -r -s 44.1 --bitwidth 16 -m m -b 192 '" + raw + "' '" + mp3 +
              "' 2>/dev/null"); // lame warns that it reads raw input through libsndfile
        return mp3;
    }
    const std::vector<float>& samples() const { return samples_; }

  private:
    std::vector<float> samples_;
};

template <class F> std::vector<float> Sound(double seconds, F&& at) {
    std::vector<float> out(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<float>(at(static_cast<double>(i) / kRate));
    return out;
}

// Deterministic white noise in -1..1.
double Noise() {
    static uint32_t state = 12345;
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / (1 << 23) - 1.0;
}

double Hz(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// A note with a few harmonics, as an organ or a synth pad has.
double Tone(double freq, double t) {
    double v = 0;
    for (int h = 1; h <= 4; ++h)
        v += std::sin(2 * std::numbers::pi * freq * h * t) / h;
    return v;
}

const std::vector<float>& Kick() {
    static const auto kick = Sound(0.2, [](double t) {
        const double phase = 2 * std::numbers::pi * (45 * t + 75 / 20.0 * (1 - std::exp(-20 * t)));
        return 0.9 * std::sin(phase) * std::exp(-18 * t);
    });
    return kick;
}
const std::vector<float>& Snare() {
    static const auto snare = Sound(0.15, [](double t) {
        return (0.4 * Noise() + 0.3 * std::sin(2 * std::numbers::pi * 190 * t)) * std::exp(-30 * t);
    });
    return snare;
}
const std::vector<float>& Hat() {
    static const auto hat = Sound(0.05, [previous = 0.0](double t) mutable {
        const double n = Noise(), v = (n - previous) * std::exp(-90 * t);
        previous = n;
        return 0.15 * v;
    });
    return hat;
}

// Kick on 1 and 3, snare on 2 and 4, hats on the eighths; the first beat at `first` seconds, the
// tempo moving evenly from `bpm` to `endBpm`. With `bars`, the first beat is a pick-up (a snare)
// and a bass note changes at each bar.
Song Drums(double bpm, double first, double seconds, double endBpm = 0, bool bars = false) {
    Song song(seconds);
    if (endBpm == 0) endBpm = bpm;
    const int roots[] = {33, 29, 36, 31};
    int beat = 0;
    for (double t = first; t < seconds; ++beat) {
        const double period = 60.0 / (bpm + (endBpm - bpm) * t / seconds);
        song.Add(t, (beat - bars) % 2 == 0 ? Kick() : Snare());
        song.Add(t, Hat());
        song.Add(t + period / 2, Hat());
        if (bars && beat % 4 == 1) {
            const double f = Hz(roots[(beat / 4) % 4]);
            song.Add(t, Sound(4 * period, [&](double u) { return 0.25 * Tone(f, u); }));
        }
        t += period;
    }
    return song;
}

// A loop of four chords, two seconds each, in `tonic`'s key: I IV V I in major, i iv V i
// (the raised leading note) in minor, over the chords' roots in the bass.
Song Chords(MusicKey key, double seconds) {
    Song song(seconds);
    const int third = key.minor ? 3 : 4, sixth = key.minor ? 8 : 9;
    const std::vector<std::vector<int>> chords = {
        {0, third, 7}, {5, sixth, 12}, {7, 11, 14}, {0, third, 7}};
    for (int i = 0; i * 2.0 < seconds; ++i) {
        const std::vector<int>& chord = chords[static_cast<size_t>(i) % 4];
        const int root = 60 + key.tonic;
        song.Add(i * 2.0, Sound(2.0, [&](double t) {
                     double v = 0.2 * Tone(Hz(root - 24 + chord[0]), t);
                     for (const int n : chord)
                         v += 0.12 * Tone(Hz(root + n), t);
                     return v * std::min(1.0, t / 0.5); // a slow swell: no attack to hear
                 }));
    }
    return song;
}

// A steady pattern's tempo to 0.05 BPM across the DJ's range, neither halved nor doubled, and
// its grid on the hits to 10 ms.
TEST(MusicAnalysis, SteadyPatternsGiveTheirTempoAndGrid) {
    for (const double bpm : {87.5, 120.0, 128.0, 174.0}) {
        SCOPED_TRACE(bpm);
        const MusicAnalysis a = Drums(bpm, 0.37, 30).Analyse();
        EXPECT_EQ(a.grid.tempo, Tempo::Steady);
        EXPECT_NEAR(a.grid.bpm, bpm, 0.05);
        EXPECT_NEAR(a.grid.firstBeatMs, 370, 10);
        EXPECT_GT(a.grid.confidence, 0.8);
    }
}

// A pattern that speeds up is a pulse without one tempo; a pad and silence have no pulse. None
// of them gets a grid presented as steady.
TEST(MusicAnalysis, NoSteadyBeatIsFlaggedNotGuessed) {
    const MusicAnalysis drifting = Drums(110, 0.2, 40, 132).Analyse();
    EXPECT_EQ(drifting.grid.tempo, Tempo::Drifting);
    const MusicAnalysis pad = Chords({9, true}, 30).Analyse();
    EXPECT_EQ(pad.grid.tempo, Tempo::None);
    EXPECT_FALSE(pad.firstDownbeatMs);
    const MusicAnalysis silence = Song(20).Analyse();
    EXPECT_EQ(silence.grid.tempo, Tempo::None);
    EXPECT_FALSE(silence.key);
}

// The bar starts where the bass changes, one beat after the pick-up.
TEST(MusicAnalysis, FindsTheFirstDownbeat) {
    const double period = 60000.0 / 124;
    const MusicAnalysis a = Drums(124, 0.5, 40, 0, true).Analyse();
    ASSERT_EQ(a.grid.tempo, Tempo::Steady);
    ASSERT_TRUE(a.firstDownbeatMs);
    EXPECT_NEAR(*a.firstDownbeatMs, 500 + period, 10);
}

// Chord loops in major and minor keys, sharp and flat, are named and placed on the wheel.
TEST(MusicAnalysis, NamesTheKeyOfChordLoops) {
    const struct {
        MusicKey key;
        const char* name;
        const char* wheel;
    } cases[] = {{{0, false}, "C major", "8B"},
                 {{9, true}, "A minor", "8A"},
                 {{3, false}, "Eb major", "5B"},
                 {{6, true}, "F# minor", "11A"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MusicAnalysis a = Chords(c.key, 16).Analyse();
        ASSERT_TRUE(a.key);
        EXPECT_EQ(engine::KeyName(*a.key), c.name);
        EXPECT_EQ(engine::KeyWheelCode(*a.key), c.wheel);
    }
    // Every one of the 24 keys has its own place on the wheel.
    std::set<std::string> codes;
    for (int tonic = 0; tonic < 12; ++tonic)
        for (const bool minor : {false, true})
            codes.insert(engine::KeyWheelCode({tonic, minor}));
    EXPECT_EQ(codes.size(), 24u);
}

} // namespace
} // namespace spinx::test

namespace spinx::test {
namespace {

// The command-line program on a real MP3 and a missing file: the song's exact length and its
// tempo, key and levels in the JSON, the missing file named with a reason and exit status 1;
// status 0 when every file was analysed.
TEST(MusicAnalysisTool, ReportsEachFileAndFailsOnTheOneItCannotRead) {
    Song song = Drums(120, 0.25, 20);
    song.Add(0.25, Chords({9, true}, 20).samples(), 0.5f);
    const std::string mp3 = song.Mp3("tool");
    const std::string tool = std::string(SPINX_BIN_DIR) + "/spinx-analyse";
    const auto run = [&](const std::string& args, std::string* out) {
        FILE* pipe = ::popen((tool + " " + args + " 2>" + ScratchDir() + "/err").c_str(), "r");
        char buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out->append(buffer, got);
        return WEXITSTATUS(::pclose(pipe));
    };
    std::string out;
    ASSERT_EQ(run("--json '" + mp3 + "' '" + ScratchDir() + "/missing.mp3'", &out), 1);
    const QJsonArray files = QJsonDocument::fromJson(QByteArray::fromStdString(out)).array();
    ASSERT_EQ(files.size(), 2);
    const QJsonObject first = files[0].toObject();
    EXPECT_DOUBLE_EQ(first["duration"].toDouble(), 20000.0); // 882000 frames at 44.1 kHz
    EXPECT_EQ(first["tempo"].toString(), "steady");
    EXPECT_NEAR(first["bpm"].toDouble(), 120, 0.05);
    EXPECT_NEAR(first["firstBeat"].toDouble(), 250, 10);
    EXPECT_EQ(first["keyCode"].toString(), "8A");
    EXPECT_LT(first["loudness"].toDouble(), 0);
    EXPECT_LT(first["truePeak"].toDouble(), 3);
    EXPECT_NEAR(first["audibleStart"].toDouble(), 250, 10);
    EXPECT_TRUE(files[1].toObject()["error"].isString());
    std::ifstream err(ScratchDir() + "/err");
    const std::string message((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(message.find("missing.mp3"), std::string::npos) << message;

    out.clear();
    EXPECT_EQ(run("'" + mp3 + "'", &out), 0);
    EXPECT_NE(out.find("KeyCode=8A\n"), std::string::npos) << out;
}

} // namespace
} // namespace spinx::test
