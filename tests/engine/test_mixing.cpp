// Gains, balance, master volume and the sum of the four players, on the offline output.
#include "EngineTestUtil.h"
#include "engine/GainLaw.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace spinx;
using namespace spinx::test;

namespace {
constexpr int kRate = 44100;
constexpr size_t kSettled = 2048; // past the start fade and the first gain ramp
std::string Tone() {
    return ToneMp3("mix_tone", 3.0, 440.0);
}
} // namespace

// The fader law is the documented square law; balance attenuates only the opposite side.
TEST(GainLaw, SquareTaperAndBalance) {
    EXPECT_FLOAT_EQ(engine::FaderGain(100), 1.0f);
    EXPECT_FLOAT_EQ(engine::FaderGain(50), 0.25f);
    EXPECT_FLOAT_EQ(engine::FaderGain(0), 0.0f);
    EXPECT_FLOAT_EQ(engine::FaderGain(150), 1.0f);
    EXPECT_FLOAT_EQ(engine::BalanceGain(50).left, 1.0f);
    EXPECT_FLOAT_EQ(engine::BalanceGain(50).right, 1.0f);
    EXPECT_FLOAT_EQ(engine::BalanceGain(0).right, 0.0f);
    EXPECT_FLOAT_EQ(engine::BalanceGain(0).left, 1.0f);
    EXPECT_FLOAT_EQ(engine::BalanceGain(100).left, 0.0f);
    EXPECT_FLOAT_EQ(engine::BalanceGain(75).right, 1.0f);
    EXPECT_FLOAT_EQ(engine::BalanceGain(75).left, 0.25f);
    EXPECT_EQ(engine::PeakToMeter(1.0f), 100);
    EXPECT_EQ(engine::PeakToMeter(0.001f), 0);
    EXPECT_EQ(engine::PeakToMeter(0.031623f), 50); // -30 dBFS
    EXPECT_EQ(engine::PeakToMeter(0.0f), 0);
    EXPECT_EQ(engine::MsToFrames(1, 44100), 45);
    for (int ms : {0, 1, 7, 999, 1000, 123456})
        EXPECT_EQ(engine::FramesToMs(engine::MsToFrames(ms, 44100), 44100), ms);
}

class EngineMixing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(t.Load(0, Tone()));
        t.engine.PlaySound(0);
        reference = Peak(t.Render(8192), -1, kSettled);
        ASSERT_NEAR(reference, 0.5f, 0.05f);
    }
    OfflineEngine t;
    float reference = 0;
};

// Balance 0 silences the right side and leaves the left untouched.
TEST_F(EngineMixing, BalanceZeroSilencesTheRight) {
    t.engine.SetBalance(0, 0);
    const auto out = t.Render(8192);
    EXPECT_FLOAT_EQ(Peak(out, 1, kSettled), 0.0f);
    EXPECT_NEAR(Peak(out, 0, kSettled), reference, 0.01f);
}

// Volume 0 is silent; volume 50 is the law's -12 dB.
TEST_F(EngineMixing, VolumeFollowsTheLaw) {
    t.engine.SetVolume(0, 50);
    EXPECT_NEAR(Peak(t.Render(8192), -1, kSettled), reference * 0.25f, 0.01f);
    t.engine.SetVolume(0, 0);
    EXPECT_FLOAT_EQ(Peak(t.Render(8192), -1, kSettled), 0.0f);
}

// Master 0 is silent, and GetMasterVolume returns what was set.
TEST_F(EngineMixing, MasterZeroIsSilent) {
    t.engine.SetMasterVolume(0, 0);
    EXPECT_EQ(t.engine.GetMasterVolume(0), 0);
    EXPECT_FLOAT_EQ(Peak(t.Render(8192), -1, kSettled), 0.0f);
    t.engine.SetMasterVolume(0, 71);
    EXPECT_EQ(t.engine.GetMasterVolume(0), 71);
}

// A gain change ramps across one buffer: no sample jumps by more than the signal itself moves.
TEST_F(EngineMixing, GainChangesRamp) {
    t.engine.SetVolume(0, 0);
    const auto out = t.Render(256, 256);
    float biggestStep = 0;
    for (size_t i = 1; i < 256; ++i)
        biggestStep = std::max(biggestStep, std::fabs(out[2 * i] - out[2 * i - 2]));
    EXPECT_LT(biggestStep, 0.05f) << "a 440 Hz tone at 0.5 moves at most 0.031 per sample";
}

// Four players playing the same song sum to four times one of them.
TEST(EngineMixingFour, FourPlayersSum) {
    OfflineEngine t;
    for (int p = 0; p < 4; ++p)
        ASSERT_TRUE(t.Load(p, Tone()));
    t.engine.PlaySound(0);
    const float one = Peak(t.Render(8192), -1, kSettled);
    for (int p = 0; p < 4; ++p) {
        t.engine.StopSound(p);
        t.engine.SeekSound(p, 0);
    }
    t.Render(1024);
    for (int p = 0; p < 4; ++p)
        t.engine.PlaySound(p);
    const float four = Peak(t.Render(8192), -1, kSettled);
    EXPECT_NEAR(four, 4 * one, 0.02f);
}

// Level events: about every 50 ms while playing, full scale = 100, one zero event on pause.
TEST(EngineLevels, LevelEventsWhilePlaying) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, Tone()));
    t.engine.VUMeterCreate(0, 0, true, 0, 0, 0);
    t.engine.PlaySound(0);
    t.Render(kRate); // one second
    ASSERT_GE(t.levels.size(), 19u);
    ASSERT_LE(t.levels.size(), 21u);
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
