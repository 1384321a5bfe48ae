// Turntable pitch through the variable-rate resampler, and songs at other sample rates.
#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace spinx;
using namespace spinx::test;

namespace {
constexpr int kRate = 44100;
constexpr size_t kSettled = 4096;

std::string Tone() {
    return ToneMp3("pitch_tone", 6.0, 1000.0);
}

std::string Noise() {
    static std::string path;
    if (path.empty()) {
        const std::string wav = ScratchDir() + "/pitch_noise.wav";
        path = ScratchDir() + "/pitch_noise.mp3";
        Shell("sox -q -n -r 44100 -c 2 -b 16 " + wav + " synth 4 whitenoise lowpass 8000 vol 0.3");
        Shell("lame --silent -b 256 " + wav + " " + path);
    }
    return path;
}

// Plays `path` at `pitch` for `seconds` of output; returns the output.
std::vector<float> PlayAt(OfflineEngine& t, const std::string& path, int pitch, double seconds) {
    EXPECT_TRUE(t.Load(0, path));
    t.engine.SetPitch(0, static_cast<int16_t>(pitch));
    t.engine.PlaySound(0);
    return t.Render(static_cast<int>(seconds * kRate));
}
} // namespace

// Pitch 2000 doubles both the position's rate and the tone; pitch 500 halves them.
TEST(EnginePitch, SpeedMovesPositionAndToneTogether) {
    for (int pitch : {2000, 500, 1500, 1000}) {
        OfflineEngine t;
        const auto out = PlayAt(t, Tone(), pitch, 1.0);
        const double speed = pitch / 1000.0;
        EXPECT_NEAR(t.engine.GetSoundPosition(0), 1000 * speed, 3) << "pitch " << pitch;
        const std::vector<float> tail(out.begin() + 2 * kSettled, out.end());
        EXPECT_NEAR(ToneFrequency(tail, 0, kRate), 1000 * speed, 2.0) << "pitch " << pitch;
        EXPECT_NEAR(Peak(tail), 0.5f, 0.03f) << "no loss of level at pitch " << pitch;
    }
}

// The slowest pitch still plays (and moves) without stalling the engine.
TEST(EnginePitch, PitchOneCrawls) {
    OfflineEngine t;
    PlayAt(t, Tone(), 1, 2.0);
    EXPECT_NEAR(t.engine.GetSoundPosition(0), 2, 1) << "speed 0.001 for 2 s is 2 ms of song";
    EXPECT_EQ(t.engine.GetPlayerStatus(0), kPlaying);
}

// The resampled output stays on song time: at pitch 1001 the output matches the straight
// decode at position x 1.001 within a sample.
TEST(EnginePitch, ResampledOutputStaysOnSongTime) {
    OfflineEngine t;
    const std::vector<float> straight = DecodeAll(Noise());
    const auto out = PlayAt(t, Noise(), 1001, 1.0);
    // Cross-correlate short windows of the output against the decode near the expected place.
    for (size_t at : {size_t(8000), size_t(30000)}) {
        const double expected = at * 1.001;
        double best = -1e9;
        int bestLag = 0;
        for (int lag = -8; lag <= 8; ++lag) {
            double sum = 0;
            for (size_t i = 0; i < 512; ++i) {
                const size_t src = static_cast<size_t>(std::llround(expected + i * 1.001)) + lag;
                sum += out[2 * (at + i)] * straight[2 * src];
            }
            if (sum > best) best = sum, bestLag = lag;
        }
        EXPECT_EQ(bestLag, 0) << "output frame " << at;
    }
}

// A pitch change glides: no sample step larger than the signal's own movement.
TEST(EnginePitch, PitchChangesGlideWithoutClicks) {
    OfflineEngine t;
    PlayAt(t, Tone(), 1000, 0.2);
    float worst = 0;
    float prev = 0;
    bool first = true;
    for (int step = 0; step < 60; ++step) {
        t.engine.SetPitch(0, static_cast<int16_t>(step % 2 ? 1000 : 1000 + 17 * step));
        const auto out = t.Render(735, 735); // one UI tick at 60 per second
        for (size_t i = 0; i < 735; ++i) {
            if (!first) worst = std::max(worst, std::fabs(out[2 * i] - prev));
            prev = out[2 * i];
            first = false;
        }
    }
    // A 0.5 sine at up to 2 kHz moves at most 0.5 * 2 * pi * 2000 / 44100 = 0.14 per sample.
    EXPECT_LT(worst, 0.16f);
}

// Songs at 48, 32 and 22.05 kHz play at the right speed and keep their pitch.
TEST(EnginePitch, OtherSampleRatesAreResampled) {
    for (int rate : {48000, 32000, 22050}) {
        OfflineEngine t;
        const std::string path = ToneMp3("rate" + std::to_string(rate), 2.0, 1000.0, rate, 2,
                                         rate < 32000 ? "-b 64" : "-b 128");
        const auto out = PlayAt(t, path, 1000, 1.0);
        EXPECT_EQ(t.engine.GetSoundDuration(0), 2000) << rate;
        EXPECT_NEAR(t.engine.GetSoundPosition(0), 1000, 2) << rate;
        const std::vector<float> tail(out.begin() + 2 * kSettled, out.end());
        EXPECT_NEAR(ToneFrequency(tail, 0, kRate), 1000, 2.0) << rate;
    }
}

// The end of a resampled song still raises SoundDone once, at its end.
TEST(EnginePitch, ResampledSongEndsOnce) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, ToneMp3("pitch_short", 1.0, 440.0)));
    t.engine.SetPitch(0, 1300);
    t.engine.PlaySound(0);
    t.Render(static_cast<int>(kRate / 1.3) - 2000);
    EXPECT_EQ(t.done[0], 0);
    t.Render(4000);
    EXPECT_EQ(t.done[0], 1);
    EXPECT_EQ(t.engine.GetSoundPosition(0), 1000);
    t.Render(kRate);
    EXPECT_EQ(t.done[0], 1);
}

// Pause in the resampled path keeps the position, and play goes on from there.
TEST(EnginePitch, PauseWhileResampling) {
    OfflineEngine t;
    PlayAt(t, Tone(), 1200, 0.5);
    t.engine.PauseSound(0);
    t.Render(2048);
    const int32_t paused = t.engine.GetSoundPosition(0);
    EXPECT_NEAR(paused, 600, 8);
    t.Render(4096);
    EXPECT_EQ(t.engine.GetSoundPosition(0), paused);
    t.engine.PlaySound(0);
    t.Render(kRate / 2);
    EXPECT_NEAR(t.engine.GetSoundPosition(0), paused + 600, 3);
}
