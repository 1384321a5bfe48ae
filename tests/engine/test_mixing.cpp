// Gains, balance, master volume, the sum of the four players and the master limiter, on the
// offline output.
#include "EngineTestUtil.h"
#include "engine/GainLaw.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace spinx;
using namespace spinx::test;

namespace {
constexpr int kRate = 44100;
constexpr size_t kSettled = 2048;       // past the start fade and the first gain ramp
constexpr size_t kFade = 221;           // the 5 ms start fade, rounded up
constexpr float kCeiling = 0.96605088f; // -0.3 dBFS
std::string Tone() {
    return ToneMp3("mix_tone", 3.0, 440.0);
}
// Three seconds of white noise at `vol` (at 1.0 the MP3 decodes a little past full scale).
std::string Noise(const std::string& name, double vol) {
    return SynthMp3(name, "3 whitenoise vol " + std::to_string(vol));
}
// Loads `path` on all four players, each from its own place in the song, and plays them.
void PlayFour(OfflineEngine& t, const std::string& path, const int32_t (&startMs)[4]) {
    for (int p = 0; p < 4; ++p) {
        ASSERT_TRUE(t.Load(p, path));
        t.engine.SeekSound(p, startMs[p]);
    }
    for (int p = 0; p < 4; ++p)
        t.engine.PlaySound(p);
}
} // namespace

// The fader law runs from silence to unity, every step louder than the one below and the first
// step well down; balance attenuates only the opposite side.
TEST(GainLaw, FaderTravelAndBalance) {
    EXPECT_EQ(engine::FaderGain(0), 0.0f);
    EXPECT_EQ(engine::FaderGain(100), 1.0f);
    for (int v = 1; v <= 100; ++v)
        EXPECT_GT(engine::FaderGain(v), engine::FaderGain(v - 1)) << v;
    EXPECT_LT(engine::FaderGain(1), 0.05f) << "the first step is more than 26 dB down";
    struct Side {
        int balance;
        float left, right;
    };
    for (const Side b : {Side{50, 1, 1}, {0, 1, 0}, {100, 0, 1}, {75, engine::FaderGain(50), 1}}) {
        EXPECT_FLOAT_EQ(engine::BalanceGain(b.balance).left, b.left) << b.balance;
        EXPECT_FLOAT_EQ(engine::BalanceGain(b.balance).right, b.right) << b.balance;
    }
    EXPECT_EQ(engine::PeakToMeter(1.0f), 100);
    EXPECT_EQ(engine::PeakToMeter(0.001f), 0);
    EXPECT_EQ(engine::PeakToMeter(0.031623f), 50); // -30 dBFS
    EXPECT_EQ(engine::PeakToMeter(0.0f), 0);
    EXPECT_EQ(engine::MsToFrames(1, 44100), 45);
    for (int ms : {0, 1, 7, 999, 1000, 123456})
        EXPECT_EQ(engine::FramesToMs(engine::MsToFrames(ms, 44100), 44100), ms);
}

// The middle of a crossfade (both decks at 50) stays within 3 dB of one deck alone, whether the
// decks play different music (which adds by power) or the same (by amplitude); 0 is silence.
TEST(EngineMixingLaw, CrossfadeCentreHasNoHole) {
    const std::string noise = Noise("law_noise", 0.3);
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, noise));
    ASSERT_TRUE(t.Load(1, noise));
    t.engine.SeekSound(1, 1500);
    t.engine.PlaySound(0);
    const double alone = RmsDb(t.Render(8192), 0, kSettled);
    t.engine.SetVolume(0, 50);
    t.engine.SetVolume(1, 50);
    t.engine.PlaySound(1);
    t.Render(1024);
    EXPECT_NEAR(RmsDb(t.Render(8192), 0), alone, 3.0) << "different music";
    for (int p = 0; p < 2; ++p) {
        t.engine.PauseSound(p);
        t.engine.SeekSound(p, 500);
    }
    t.Render(1024);
    t.engine.PlaySound(0);
    t.engine.PlaySound(1);
    EXPECT_NEAR(RmsDb(t.Render(8192), 0, kSettled), alone, 3.0) << "the same music";
    t.engine.SetVolume(0, 0);
    t.engine.SetVolume(1, 0);
    EXPECT_EQ(Peak(t.Render(4096), -1, 1024), 0.0f);
}

// Balance 0 silences the right side and leaves the left untouched; a gain change ramps across
// one buffer instead of jumping; master 0 silences all, and GetMasterVolume returns it.
TEST(EngineMixing, BalanceRampAndMasterSilence) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, Tone()));
    t.engine.PlaySound(0);
    const float reference = Peak(t.Render(8192), -1, kSettled);
    ASSERT_NEAR(reference, 0.5f, 0.05f);
    t.engine.SetBalance(0, 0);
    const auto out = t.Render(8192);
    EXPECT_FLOAT_EQ(Peak(out, 1, kSettled), 0.0f);
    EXPECT_NEAR(Peak(out, 0, kSettled), reference, 0.01f);
    t.engine.SetVolume(0, 0);
    const auto ramp = t.Render(256, 256);
    float biggestStep = 0;
    for (size_t i = 1; i < 256; ++i)
        biggestStep = std::max(biggestStep, std::fabs(ramp[2 * i] - ramp[2 * i - 2]));
    EXPECT_GT(Peak(ramp, 0, 0, 16), 0.1f) << "not cut at once";
    EXPECT_LT(biggestStep, 0.05f) << "a 440 Hz tone at 0.5 moves at most 0.031 per sample";
    t.engine.SetVolume(0, 100);
    t.engine.SetMasterVolume(0);
    EXPECT_EQ(t.engine.MasterVolume(), 0);
    EXPECT_FLOAT_EQ(Peak(t.Render(8192), -1, kSettled), 0.0f);
}

// A deck started at volume 0 (to be cued) is silent on the master from its very first frame,
// and so is one whose volume went down to 0 while it was paused.
TEST(EngineMixing, DeckStartedAtVolumeZeroLeaksNothing) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, Tone()));
    t.engine.SetVolume(0, 0);
    t.engine.PlaySound(0);
    EXPECT_EQ(Peak(t.Render(4096, 512)), 0.0f);
    t.engine.SetVolume(0, 100);
    EXPECT_GT(Peak(t.Render(4096, 512), -1, 1024), 0.4f);
    t.engine.PauseSound(0);
    t.Render(4096, 512);
    t.engine.SetVolume(0, 0);
    t.engine.PlaySound(0);
    EXPECT_EQ(Peak(t.Render(4096, 512)), 0.0f);
}

// Four quiet decks mix to exactly the sum of their straight decodes from the end of the start
// fade on: below the ceiling the limiter neither delays nor alters the sound.
TEST(EngineMixingFour, QuietMixIsTheExactSum) {
    const std::string noise = Noise("quiet_noise", 0.2);
    const std::vector<float> straight = DecodeAll(noise);
    const int32_t startMs[4] = {0, 700, 1400, 2100};
    OfflineEngine t;
    PlayFour(t, noise, startMs);
    const auto out = t.Render(kRate / 2);
    ASSERT_GT(Peak(out), 0.5f) << "the four decks played together";
    ASSERT_LT(Peak(out), kCeiling);
    for (size_t i = kFade; i < out.size() / 2; ++i)
        for (int c = 0; c < 2; ++c) {
            float sum = 0.0f; // in the mixer's order
            for (int p = 0; p < 4; ++p)
                sum += straight[2 * (engine::MsToFrames(startMs[p], kRate) + i) + c];
            ASSERT_EQ(out[2 * i + c], sum) << "frame " << i;
        }
}

// Four full-scale decks sum far past full scale; the limiter keeps every sample at or under
// -0.3 dBFS, and the mix still comes out at full loudness.
TEST(EngineLimiter, FourFullScaleDecksStayUnderTheCeiling) {
    OfflineEngine t;
    PlayFour(t, Noise("loud_noise", 1.0), {0, 700, 1400, 2100});
    const auto out = t.Render(kRate);
    EXPECT_LE(Peak(out), kCeiling);
    EXPECT_GT(Peak(out, -1, kRate / 2), 0.9f * kCeiling);
}

// A loud steady bass note (four decks of a 50 Hz tone, +6 dB over the ceiling) is held under
// the ceiling by a steady gain: what is left after removing the best-fitting 50 Hz sine is
// 40 dB down, where a gain that rose and fell with each cycle would distort it.
TEST(EngineLimiter, LoudBassIsLimitedWithoutRipple) {
    OfflineEngine t;
    PlayFour(t, ToneMp3("bass50", 3.0, 50.0), {0, 0, 0, 0});
    t.Render(kRate / 2);
    const auto out = t.Render(8820); // ten cycles
    EXPECT_LE(Peak(out), kCeiling);
    EXPECT_GT(Peak(out), 0.98f * kCeiling) << "limited no further than needed";
    // Ten whole cycles: the best-fitting sine carries 2 (S^2 + C^2) / N of the energy.
    double sinSum = 0, cosSum = 0, energy = 0;
    for (size_t i = 0; i < 8820; ++i) {
        const double w = 2 * M_PI * 50.0 * static_cast<double>(i) / kRate;
        sinSum += out[2 * i] * std::sin(w);
        cosSum += out[2 * i] * std::cos(w);
        energy += double(out[2 * i]) * out[2 * i];
    }
    const double signal = (sinSum * sinSum + cosSum * cosSum) * 2.0 / 8820.0;
    const double residue = energy - signal;
    EXPECT_LT(10.0 * std::log10(residue / signal), -40.0);
}

// Level events: about every 100 ms while playing, full scale = 100, one zero event on pause.
TEST(EngineLevels, LevelEventsWhilePlaying) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, Tone()));
    t.engine.EnableLevels(0, true);
    t.engine.PlaySound(0);
    t.Render(kRate); // one second
    ASSERT_GE(t.levels.size(), 9u);
    ASSERT_LE(t.levels.size(), 11u);
    const auto& last = t.levels.back();
    EXPECT_EQ(last[0], 0);
    EXPECT_NEAR(last[1], 90, 2) << "a 0.5 peak is -6 dBFS";
    EXPECT_EQ(last[1], last[2]);
    t.engine.PauseSound(0);
    t.levels.clear();
    t.Render(kRate / 2);
    ASSERT_EQ(t.levels.size(), 1u);
    EXPECT_EQ(t.levels[0][1], 0);
    EXPECT_EQ(t.levels[0][2], 0);
}
