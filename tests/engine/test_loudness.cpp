// Song analysis for unattended sets: loudness, the levelling gain it gives, and where a song's
// sound begins and ends.
#include "EngineTestUtil.h"
#include "engine/analysis/AudibleRange.h"
#include "engine/analysis/Loudness.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <ebur128.h>

namespace spinx::test {
namespace {

using engine::LoudnessPass;
using engine::MeasureLoudness;

// Stereo pink noise at `gainDb` (music-like spectrum), with `pad` seconds of silence each side.
std::string NoiseMp3(const std::string& name, double seconds, double gainDb, double pad = 0) {
    return SynthMp3(name,
                    std::to_string(seconds) + " pinknoise gain " + std::to_string(gainDb) +
                        " pad " + std::to_string(pad) + " " + std::to_string(pad),
                    "-b 192");
}

double LoudnessOf(const std::vector<float>& stereo, int rate) {
    ebur128_state* st = ebur128_init(2, rate, EBUR128_MODE_I);
    ebur128_add_frames_float(st, stereo.data(), stereo.size() / 2);
    double lufs = 0;
    ebur128_loudness_global(st, &lufs);
    ebur128_destroy(&st);
    return lufs;
}

// The fast pass agrees with the exact one and with a meter fed the decoded song; what cannot be
// measured (no MP3, silence) has no loudness and says why.
TEST(Loudness, MeasuresSongsAndRefusesWhatItCannot) {
    const std::string song = NoiseMp3("noise", 20, -20);
    int rate = 0;
    const std::vector<float> decoded = DecodeAll(song, &rate);
    const double reference = LoudnessOf(decoded, rate);
    const auto exact = MeasureLoudness(song, nullptr, LoudnessPass::Exact);
    const auto fast = MeasureLoudness(song);
    ASSERT_TRUE(exact && fast);
    EXPECT_NEAR(*exact, reference, 0.01);
    EXPECT_NEAR(*fast, reference, 0.5);

    std::string reason;
    EXPECT_FALSE(MeasureLoudness(WriteFile("text.mp3", "not audio at all\n"), &reason));
    EXPECT_FALSE(reason.empty());
    reason.clear();
    EXPECT_FALSE(MeasureLoudness(NoiseMp3("silent", 3, -140), &reason));
    EXPECT_NE(reason.find("silent"), std::string::npos) << reason;
}

// The levelling gain lowers loud songs as far as needed, raises quiet ones up to the cap, and
// leaves songs of unknown loudness alone.
TEST(Loudness, LevellingGainIsCappedBoost) {
    using engine::LevellingGainDb;
    EXPECT_DOUBLE_EQ(LevellingGainDb(-4.0), -10.0);
    EXPECT_DOUBLE_EQ(LevellingGainDb(-22.5), 8.5);
    EXPECT_DOUBLE_EQ(LevellingGainDb(-23.5), 9.0);
    EXPECT_DOUBLE_EQ(LevellingGainDb(std::nullopt), 0.0);
}

// Two songs 10 dB apart come out of the engine within 1 LU of each other once each deck gets
// its levelling gain, and as loud as the target (below the default, so no peak nears full scale).
TEST(Loudness, LevelledSongsPlayAtOneLoudness) {
    constexpr double kTarget = -20.0;
    OfflineEngine t;
    const std::string songs[2] = {NoiseMp3("loud", 8, -8), NoiseMp3("quiet", 8, -18)};
    double heard[2] = {}, measured[2] = {};
    for (int p = 0; p < 2; ++p) {
        const auto lufs = MeasureLoudness(songs[p]);
        ASSERT_TRUE(lufs);
        measured[p] = *lufs;
        ASSERT_TRUE(t.Load(p, songs[p]));
        t.engine.SetLevelTrim(p, engine::LevellingGainDb(lufs, kTarget));
        t.engine.PlaySound(p);
        heard[p] = LoudnessOf(t.Render(44100 * 6), t.engine.SampleRate());
        t.engine.StopSound(p);
    }
    EXPECT_NEAR(measured[0] - measured[1], 10.0, 0.5);
    EXPECT_NEAR(heard[0], heard[1], 1.0);
    EXPECT_NEAR(heard[0], kTarget, 1.0);
}

// A song with 5 s of silence at each end is audible from 5 s to its last 5 s in its overview,
// to within one point; the -50 dBFS threshold holds from both sides in either channel, and
// silence has no audible range.
TEST(AudibleRange, SkipsTheSilenceAtBothEnds) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, NoiseMp3("padded", 10, -30, 5)));
    QElapsedTimer clock;
    clock.start();
    while (!t.engine.GetWaveform(0) && clock.elapsed() < 5000) {
        t.engine.DeliverEvents();
        QThread::msleep(2);
    }
    ASSERT_TRUE(t.engine.GetWaveform(0));
    Waveform w = *t.engine.GetWaveform(0);
    engine::AudibleRange range = engine::FindAudibleRange(w);
    const int pointMs = w.durationMs / w.points() + 1;
    EXPECT_TRUE(range.audible);
    EXPECT_NEAR(range.startMs, 5000, pointMs + 10);
    EXPECT_NEAR(range.endMs, 15000, pointMs + 10);

    w.durationMs = 1000;
    for (auto* v : {&w.minLeft, &w.maxLeft, &w.minRight, &w.maxRight})
        v->assign(10, 0.0f);
    const float quiet = 0.0030f, audible = 0.0033f; // -50.5 and -49.6 dBFS
    w.maxLeft[1] = w.maxRight[8] = quiet;
    w.minLeft[4] = -audible;
    w.maxRight[6] = audible;
    range = engine::FindAudibleRange(w);
    EXPECT_TRUE(range.audible);
    EXPECT_EQ(range.startMs, 400);
    EXPECT_EQ(range.endMs, 700);
    w.minLeft[4] = -quiet;
    w.maxRight[6] = quiet;
    EXPECT_FALSE(engine::FindAudibleRange(w).audible);
}

} // namespace
} // namespace spinx::test
