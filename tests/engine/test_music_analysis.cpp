// What a DJ hears, measured: tempo and beat grid, the first bar, the key and the mix points, on
// songs arranged here from drum hits, bass notes and chords that sox synthesizes, whose true
// values are known exactly; the background scan; and the command-line program.
#include "EngineTestUtil.h"
#include "engine/analysis/MusicAnalysis.h"
#include "engine/analysis/MusicScan.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

namespace spinx::test {
namespace {

using engine::MusicAnalysis;
using engine::MusicKey;
using engine::Tempo;

constexpr int kRate = 44100;
constexpr double kLead = 0.37; // seconds of silence before the first sound

// A mono sound sox synthesizes from `effects`, made once per program.
const std::vector<float>& Sox(const std::string& effects) {
    static std::map<std::string, std::vector<float>> made;
    auto [sound, fresh] = made.try_emplace(effects);
    if (fresh) {
        FILE* pipe = ::popen(("sox -q -R -n -r 44100 -c 1 -t f32 - " + effects).c_str(), "r");
        float buffer[4096];
        for (size_t got; (got = std::fread(buffer, sizeof(float), 4096, pipe)) > 0;)
            sound->second.insert(sound->second.end(), buffer, buffer + got);
        EXPECT_EQ(::pclose(pipe), 0) << effects;
    }
    return sound->second;
}

// sox's pitch: semitones from A4.
std::string Note(int semitones) {
    return " %" + std::to_string(semitones);
}

// A mono song built by adding sounds at given times.
class Song {
  public:
    explicit Song(double seconds) : samples_(static_cast<size_t>(seconds * kRate)) {}
    void Add(double at, const std::vector<float>& sound, float gain = 1.0f) {
        const auto start = static_cast<size_t>(std::lround(at * kRate));
        for (size_t i = 0; i < sound.size() && start + i < samples_.size(); ++i)
            samples_[start + i] += gain * sound[i];
    }
    MusicAnalysis Analyse() const {
        return engine::AnalyseMusic(samples_.data(), static_cast<int64_t>(samples_.size()), 1,
                                    kRate);
    }
    // As a mono MP3 in the scratch folder, made by lame from the raw samples.
    std::string Mp3(const std::string& name, const std::string& lameArgs = "") const {
        const std::string raw = ScratchDir() + "/" + name + ".raw";
        const std::string mp3 = ScratchDir() + "/" + name + ".mp3";
        std::ofstream out(raw, std::ios::binary);
        for (const float v : samples_) {
            const auto s = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767));
            out.write(reinterpret_cast<const char*>(&s), sizeof s);
        }
        out.close();
        Shell("lame --silent " + lameArgs + " -r -s 44.1 --bitwidth 16 -m m -b 192 '" + raw +
              "' '" + mp3 +
              "' 2>/dev/null"); // lame warns that it reads raw input through libsndfile
        return mp3;
    }
    size_t frames() const { return samples_.size(); }

  private:
    std::vector<float> samples_;
};

// How a generated song plays.
enum Style : unsigned {
    kSwing = 1,        // the off-beat hats on the last triplet
    kFourOnFloor = 2,  // a kick on every beat, the snare on 2 and 4, hats on the off-beats only
    kDrumsAlone = 4,   // no chords, no bass: nothing marks the bar
    kLastHit = 8,      // one more kick on the first beat after the last bar
    kTempoJump = 16,   // a fifteenth faster from halfway: no one tempo
    kChordsAlone = 32, // no drums, no bass
    kHalfTime = 64,    // the kick on 1, the snare on 3
    kNoHats = 128,
};

// A generated song and what it truly holds. The song: kLead of silence, the chords alone for
// `introBars`, `pickup` beats before the first bar, `bars` bars of drums (kick on 1 and 3, snare
// on 2 and 4, hats on the beats and off-beats) with a bass note on each beat, the chords alone
// for `outroBeats`, and a second of silence. A chord a bar, I IV V I in major, i iv V i in
// minor, swelling in.
struct Take {
    const char* name; // a chord loop's is its key's
    double bpm;
    int introBars, pickup, bars, outroBeats;
    int mixOutBeat; // counted from the first downbeat
    MusicKey key;
    unsigned style = 0;
    const char* wheel = ""; // a chord loop's key on the wheel

    bool Is(Style s) const { return (style & s) != 0; }
    Tempo tempo() const {
        return Is(kTempoJump) ? Tempo::Drifting : Is(kChordsAlone) ? Tempo::None : Tempo::Steady;
    }
    int Beats() const { return 4 * introBars + pickup + 4 * bars + outroBeats; }
    double Period(int beat) const {
        const bool later = Is(kTempoJump) && 2 * beat >= Beats();
        return 60.0 / (later ? bpm * 16 / 15 : bpm);
    }
    double Ms(int beat) const {
        double t = kLead;
        for (int i = 0; i < beat; ++i)
            t += Period(i);
        return 1000 * t;
    }
    Song Make() const {
        Song song(Ms(Beats()) / 1000 + 1);
        const int third = key.minor ? 3 : 4, sixth = key.minor ? 8 : 9, root = key.tonic - 9;
        const int chords[4][3] = {{0, third, 7}, {5, sixth, 12}, {7, 11, 14}, {0, third, 7}};
        const int drumsFrom = 4 * introBars, drumsTo = drumsFrom + pickup + 4 * bars;
        const auto& kick = Sox("synth 0.25 sine 160/45 fade q 0.002 0.25 0.24 gain -n -4");
        const auto& snare = Sox("synth 0.18 whitenoise synth 0.18 sine mix 200/150 lowpass 7000 "
                                "fade q 0.001 0.18 0.17 gain -n -8");
        const auto& hat =
            Sox("synth 0.05 whitenoise gain -10 highpass 7000 fade q 0.001 0.05 0.048 gain -n -16");
        for (int i = 0; i < Beats(); ++i) {
            const int k = i - pickup, bar = k / 4;
            const double t = Ms(i) / 1000, p = Period(i);
            const int* chord = chords[bar % 4];
            if (k >= 0 && k % 4 == 0 && !Is(kDrumsAlone)) {
                const std::string length =
                    std::to_string((Ms(std::min(i + 4, Beats())) - Ms(i)) / 1000);
                std::string pad = "synth " + length + " sawtooth" + Note(root - 24 + chord[0]);
                for (int n = 0; n < 3; ++n)
                    pad += " synth sawtooth mix" + Note(root + chord[n]);
                song.Add(t, Sox(pad + " lowpass 1500 fade h 0.4 " + length + " 0.05 gain -n -10"));
            }
            if (i < drumsFrom || i >= drumsTo || Is(kChordsAlone)) continue;
            const int beat = Is(kHalfTime) ? k % 4 : k % 2; // kick on 0, snare on the next
            if (beat == 0 || Is(kFourOnFloor)) song.Add(t, kick);
            if (beat == (Is(kHalfTime) ? 2 : 1) || k < 0) song.Add(t, snare);
            if (!Is(kFourOnFloor) && !Is(kNoHats)) song.Add(t, hat);
            if (!Is(kNoHats)) song.Add(t + p * (Is(kSwing) ? 2.0 / 3 : 0.5), hat);
            if (k >= 0 && !Is(kDrumsAlone))
                song.Add(t, Sox("synth " + std::to_string(0.9 * p) + " pluck" +
                                Note(root - 24 + chord[0]) + " gain -n -8"));
        }
        if (Is(kLastHit)) song.Add(Ms(drumsTo) / 1000, kick);
        return song;
    }
};

// The mix-out falls where the drums stop before the chords' last bars (the 128's outro), or a
// phrase before the end where the sound stops within a beat after a phrase boundary.
// clang-format off
const Take kTakes[] = {
    // name, BPM, intro bars, pick-up beats, bars, outro beats, mix-out beat, key, style, wheel
    {"70", 70, 0, 0, 8, 0, 24, {2, true}},
    {"87.5 swung", 87.5, 0, 0, 10, 0, 32, {7, false}, kSwing},
    {"100 swung, pick-up", 100, 0, 1, 11, 0, 40, {10, true}, kSwing},
    {"120", 120, 0, 0, 12, 0, 40, {4, false}},
    {"128 four on the floor, intro, outro", 128, 4, 0, 10, 6, 40, {6, true}, kFourOnFloor},
    {"120 four on the floor, drums alone, no hats", 120, 0, 0, 8, 0, 0, {},
     kFourOnFloor | kDrumsAlone | kNoHats},
    {"128 four on the floor, drums alone, last hit", 128, 0, 0, 12, 0, 0, {},
     kFourOnFloor | kDrumsAlone | kLastHit},
    {"128 without hats", 128, 0, 0, 8, 0, 24, {5, true}, kNoHats},
    {"150 half time, drums alone", 150, 0, 0, 12, 0, 0, {}, kHalfTime | kDrumsAlone},
    {"140, pick-up, last hit", 140, 0, 1, 14, 0, 48, {8, false}, kLastHit},
    {"174, intro", 174, 2, 0, 16, 0, 56, {0, true}},
    {"120 jumping to 128", 120, 0, 0, 12, 0, 0, {9, true}, kTempoJump},
    {"C major", 120, 0, 0, 8, 0, 0, {0, false}, kChordsAlone, "8B"},
    {"A minor", 120, 0, 0, 8, 0, 0, {9, true}, kChordsAlone, "8A"},
    {"Eb major", 120, 0, 0, 8, 0, 0, {3, false}, kChordsAlone, "5B"},
    {"C# minor", 120, 0, 0, 8, 0, 0, {1, true}, kChordsAlone, "12A"},
    {"F major", 120, 0, 0, 8, 0, 0, {5, false}, kChordsAlone, "7B"},
    {"B minor", 120, 0, 0, 8, 0, 0, {11, true}, kChordsAlone, "10A"},
};
// clang-format on

// Every generated song. A steady one: its tempo to 0.05 BPM (neither halved nor doubled), its
// first beat, first downbeat and mix points to 10 ms. One that changes tempo or has no drums:
// flagged rather than given a grid, and mixed at the edges of its sound. The chord loops' keys,
// named and placed on the wheel.
TEST(MusicAnalysis, GeneratedSongs) {
    for (const Take& take : kTakes) {
        SCOPED_TRACE(take.name);
        const MusicAnalysis a = take.Make().Analyse();
        EXPECT_EQ(a.grid.tempo, take.tempo());
        const int drums = 4 * take.introBars, bar = drums + take.pickup;
        if (take.tempo() == Tempo::Steady) {
            EXPECT_NEAR(a.grid.bpm, take.bpm, 0.05);
            EXPECT_GT(a.grid.confidence, 0.5);
            EXPECT_NEAR(a.grid.firstBeatMs, take.Ms(drums), 10);
            if (take.Is(kDrumsAlone)) continue;
            EXPECT_NEAR(a.firstDownbeatMs.value_or(0), take.Ms(bar), 10);
            EXPECT_NEAR(a.mixInMs, take.Ms(take.pickup), 10); // the intro's start is a downbeat
            EXPECT_NEAR(a.mixOutMs, take.Ms(bar + take.mixOutBeat), 10);
        } else {
            EXPECT_LT(a.grid.confidence, 0.5);
            EXPECT_FALSE(a.firstDownbeatMs);
            EXPECT_EQ(a.mixInMs, a.audible.startMs);
            EXPECT_EQ(a.mixOutMs, a.audible.endMs);
            // The chords swell in: they cross the threshold a little after they start.
            EXPECT_NEAR(a.audible.startMs, 1000 * kLead, 50);
            EXPECT_NEAR(a.audible.endMs, take.Ms(take.Beats()), 50);
        }
        if (take.Is(kChordsAlone)) {
            ASSERT_TRUE(a.key);
            EXPECT_EQ(engine::KeyName(*a.key), take.name);
            EXPECT_EQ(engine::KeyWheelCode(*a.key), take.wheel);
        }
    }
    // Every one of the 24 keys has its own place on the wheel.
    std::set<std::string> codes;
    for (int tonic = 0; tonic < 12; ++tonic)
        for (const bool minor : {false, true})
            codes.insert(engine::KeyWheelCode({tonic, minor}));
    EXPECT_EQ(codes.size(), 24u);
    // Silence: no beat, no key, nothing audible to mix.
    const MusicAnalysis silence = Song(20).Analyse();
    EXPECT_EQ(silence.grid.tempo, Tempo::None);
    EXPECT_FALSE(silence.key);
    EXPECT_FALSE(silence.audible.audible);
}

// The scan analyses a song once however often it is asked for while it waits, reports one that
// cannot be read with the reason, and when destroyed abandons the song it is in at once and
// reports nothing more.
TEST(MusicScan, AnalysesEachSongOnceAndAbandonsTheRestWhenDestroyed) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QObject context;
    // Without lame's header frame, which gives the length, copies joined end to end are one
    // longer song.
    const std::string song = kTakes[1].Make().Mp3("scan", "-t");
    const std::string longSong = ScratchDir() + "/long.mp3", bad = WriteFile("bad.mp3", "no");
    Shell("for i in 1 2 3 4 5 6 7 8 9 10; do cat '" + song + "'; done > '" + longSong + "'");
    std::map<std::string, std::pair<double, std::string>> reports; // the tempo or the reason
    int count = 0;
    auto scan = std::make_unique<engine::MusicScan>(
        context, [&](const std::string& path, const std::optional<MusicAnalysis>& music,
                     const std::string& reason) {
            ++count;
            reports[path] = {music ? music->grid.bpm : 0, reason};
        });
    scan->Request(song);
    ASSERT_FALSE(scan->WaitIdle(50)); // a fifth of a second's work: it is being analysed
    scan->Request(song);
    scan->Request(bad);
    scan->Request(bad);
    ASSERT_TRUE(scan->WaitIdle(60000));
    QCoreApplication::processEvents();
    EXPECT_EQ(count, 2);
    EXPECT_NEAR(reports[song].first, 87.5, 0.05);
    EXPECT_NE(reports[bad].second, "");

    scan->Request(song); // done, but its report not yet delivered when the scan goes
    ASSERT_TRUE(scan->WaitIdle(60000));
    scan->Request(longSong); // four and a half minutes: more than a second to analyse
    ASSERT_FALSE(scan->WaitIdle(300));
    const auto start = std::chrono::steady_clock::now();
    scan.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    QCoreApplication::processEvents();
    EXPECT_EQ(count, 2);
}

// The command-line program on a real MP3 and a missing file: the song's exact length, its tempo,
// grid, key, levels and mix points in the JSON, the missing file named with a reason and exit
// status 1; status 0 when every file was analysed.
TEST(MusicAnalysisTool, ReportsEachFileAndFailsOnTheOneItCannotRead) {
    const Take& take = kTakes[2]; // with a pick-up: the mix-in is the beat after the first
    const Song song = take.Make();
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
    EXPECT_DOUBLE_EQ(first["duration"].toDouble(), std::round(1e6 * song.frames() / kRate) / 1000);
    EXPECT_EQ(first["tempo"].toString(), "steady");
    EXPECT_NEAR(first["bpm"].toDouble(), take.bpm, 0.05);
    EXPECT_NEAR(first["firstBeat"].toDouble(), take.Ms(0), 10);
    EXPECT_NEAR(first["firstDownbeat"].toDouble(), take.Ms(1), 10);
    EXPECT_EQ(first["keyCode"].toString(), "3A");
    EXPECT_LT(first["loudness"].toDouble(), 0);
    EXPECT_LT(first["truePeak"].toDouble(), 3);
    EXPECT_NEAR(first["audibleStart"].toDouble(), take.Ms(0), 10);
    EXPECT_NEAR(first["mixIn"].toDouble(), take.Ms(1), 10);
    EXPECT_NEAR(first["mixOut"].toDouble(), take.Ms(1 + take.mixOutBeat), 10);
    EXPECT_TRUE(files[1].toObject()["error"].isString());
    std::ifstream err(ScratchDir() + "/err");
    const std::string message((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(message.find("missing.mp3"), std::string::npos) << message;

    out.clear();
    EXPECT_EQ(run("'" + mp3 + "'", &out), 0);
    EXPECT_NE(out.find("KeyCode=3A\n"), std::string::npos) << out;
}

} // namespace
} // namespace spinx::test
