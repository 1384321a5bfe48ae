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

// The levelling gain plays a song at the target with its deck at the default volume: loud
// songs lowered as far as needed, quiet ones raised until their peaks would go further over
// the limiter's ceiling than it takes (pinned from both sides), or by a fixed cap when the peak
// is not known; songs of unknown loudness are left alone.
TEST(Loudness, LevellingGainBoostsUpToThePeaks) {
    using engine::LevellingGainDb;
    const double deck = -engine::kDefaultDeckVolumeDb; // what the default volume takes away
    EXPECT_NEAR(LevellingGainDb(-4.0), -10.0 + deck, 1e-9);
    EXPECT_NEAR(LevellingGainDb(-22.5, -14.0, -3.0), 8.5 + deck, 1e-9);
    EXPECT_NEAR(LevellingGainDb(-22.5, -14.0, -1.0), 6.7 + deck, 0.01); // -0.3 dBFS + 6 dB
    EXPECT_NEAR(LevellingGainDb(-23.5), 9.0 + deck, 1e-9);
    EXPECT_DOUBLE_EQ(LevellingGainDb(std::nullopt), 0.0);
}

// Two songs 10 dB apart come out of the engine at the target, within 0.5 LU, each deck at the
// default volume with its levelling gain; the peak measured with the loudness is the song's.
TEST(Loudness, LevelledSongsPlayAtOneLoudness) {
    constexpr double kTarget = -20.0;
    OfflineEngine t;
    const std::string songs[2] = {NoiseMp3("loud", 8, -8), NoiseMp3("quiet", 8, -18)};
    double heard[2] = {}, measured[2] = {};
    for (int p = 0; p < 2; ++p) {
        double peakDb = 0;
        const auto lufs = MeasureLoudness(songs[p], nullptr, LoudnessPass::Fast, &peakDb);
        ASSERT_TRUE(lufs);
        EXPECT_NEAR(peakDb, 20 * std::log10(Peak(DecodeAll(songs[p]))), 0.01);
        measured[p] = *lufs;
        ASSERT_TRUE(t.Load(p, songs[p]));
        t.engine.SetVolume(p, 50); // the slider in the middle
        t.engine.SetLevelTrim(p, engine::LevellingGainDb(lufs, kTarget, peakDb));
        t.engine.PlaySound(p);
        heard[p] = LoudnessOf(t.Render(44100 * 6), t.engine.SampleRate());
        t.engine.StopSound(p);
    }
    EXPECT_NEAR(measured[0] - measured[1], 10.0, 0.5);
    EXPECT_NEAR(heard[0], kTarget, 0.5);
    EXPECT_NEAR(heard[1], kTarget, 0.5);
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
