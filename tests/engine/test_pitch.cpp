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
    return ToneMp3("pitch_tone", 3.0, 1000.0);
}

// Plays `path` at `pitch` for `seconds` of output; returns the output.
std::vector<float> PlayAt(OfflineEngine& t, const std::string& path, int pitch, double seconds) {
    EXPECT_TRUE(t.Load(0, path));
    t.engine.SetPitch(0, static_cast<int16_t>(pitch));
    t.engine.PlaySound(0);
    return t.Render(static_cast<int>(seconds * kRate));
}
} // namespace

// Pitch moves the position's rate and the tone together (2000 doubles, 500 halves) without loss
// of level; songs at 48, 32 and 22.05 kHz play at the right speed and keep their pitch; pitch 1
// crawls.
TEST(EnginePitch, SpeedMovesPositionAndToneTogether) {
    struct Case {
        int pitch, rate;
    };
    for (const Case c :
         {Case{2000, kRate}, {500, kRate}, {1000, 48000}, {1000, 32000}, {1000, 22050}}) {
        SCOPED_TRACE(testing::Message() << "pitch " << c.pitch << ", rate " << c.rate);
        OfflineEngine t;
        const std::string path = c.rate == kRate
                                     ? Tone()
                                     : ToneMp3("rate" + std::to_string(c.rate), 3.0, 1000.0, c.rate,
                                               2, c.rate < 32000 ? "-b 64" : "-b 128");
        const auto out = PlayAt(t, path, c.pitch, 1.0);
        const double speed = c.pitch / 1000.0;
        EXPECT_EQ(t.engine.GetSoundDuration(0), 3000);
        EXPECT_NEAR(t.engine.GetSoundPosition(0), 1000 * speed, 3);
        const std::vector<float> tail(out.begin() + 2 * kSettled, out.end());
        EXPECT_NEAR(ToneFrequency(tail, 0, kRate), 1000 * speed, 2.0);
        EXPECT_NEAR(Peak(tail), 0.5f, 0.03f);
    }

    // The slowest pitch still plays (and moves) without stalling the engine.
    OfflineEngine t;
    PlayAt(t, Tone(), 1, 2.0);
    EXPECT_NEAR(t.engine.GetSoundPosition(0), 2, 1) << "speed 0.001 for 2 s is 2 ms of song";
    EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Playing);
}

// The resampled output stays on song time: at pitch 1001 the output matches the straight
// decode at position x 1.001 within a sample.
TEST(EnginePitch, ResampledOutputStaysOnSongTime) {
    OfflineEngine t;
    const std::string noise = SynthMp3("pitch_noise", "4 whitenoise lowpass 8000 vol 0.3");
    const std::vector<float> straight = DecodeAll(noise);
    const auto out = PlayAt(t, noise, 1001, 1.0);
    // Cross-correlate short windows of the output against the decode near the expected place.
    for (size_t at : {size_t(8000), size_t(30000)}) {
        double best = -1e9;
        int bestLag = 0;
        for (int lag = -8; lag <= 8; ++lag) {
            double sum = 0;
            for (size_t i = 0; i < 512; ++i)
                sum += out[2 * (at + i)] * straight[2 * (std::llround((at + i) * 1.001) + lag)];
            if (sum > best) best = sum, bestLag = lag;
        }
        EXPECT_EQ(bestLag, 0) << "output frame " << at;
    }
}

// A pitch change glides: no sample step larger than the signal's own movement.
TEST(EnginePitch, PitchChangesGlideWithoutClicks) {
    OfflineEngine t;
    float prev = PlayAt(t, Tone(), 1000, 0.2).rbegin()[1];
    float worst = 0;
    for (int step = 0; step < 60; ++step) {
        t.engine.SetPitch(0, static_cast<int16_t>(step % 2 ? 1000 : 1000 + 17 * step));
        const auto out = t.Render(735, 735); // one UI tick at 60 per second
        for (size_t i = 0; i < 735; ++i)
            worst = std::max(worst, std::fabs(out[2 * i] - std::exchange(prev, out[2 * i])));
    }
    // A 0.5 sine at up to 2 kHz moves at most 0.5 * 2 * pi * 2000 / 44100 = 0.14 per sample.
    EXPECT_LT(worst, 0.16f);
}

// Pause in the resampled path keeps the position, play goes on from there, and the end still
// raises SoundDone once, exactly at the song's end.
TEST(EnginePitch, PauseAndEndWhileResampling) {
    OfflineEngine t;
    PlayAt(t, ToneMp3("pitch_short", 1.0, 440.0), 1200, 0.25);
    t.engine.PauseSound(0);
    t.Render(2048);
    const int32_t paused = t.engine.GetSoundPosition(0);
    EXPECT_NEAR(paused, 300, 8);
    t.Render(4096);
    EXPECT_EQ(t.engine.GetSoundPosition(0), paused);
    t.engine.PlaySound(0);
    t.Render(kRate / 2);
    EXPECT_NEAR(t.engine.GetSoundPosition(0), paused + 600, 3);
    EXPECT_EQ(t.done[0], 0);
    t.Render(kRate / 5);
    EXPECT_EQ(t.done[0], 1);
    EXPECT_EQ(t.engine.GetSoundPosition(0), 1000);
    t.Render(kRate);
    EXPECT_EQ(t.done[0], 1);
}

// A pitch held a while moves to the constant-ratio resampler, and a change moves it back (a
// short change and back reuses the one it had); each hand-over crossfades two renderings of the
// same song time, so the tone never jumps or dips and the position keeps to song time.
TEST(EnginePitch, HeldPitchHandsOverSeamlessly) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, ToneMp3("pitch_held", 8.0, 5000.0)));
    t.engine.SetPitch(0, 1080);
    t.engine.PlaySound(0);
    double songMs = 0;
    size_t from = kSettled; // past the start's fade-in
    for (const auto& [pitch, ms] :
         {std::pair{1080, 1500}, {1100, 200}, {1080, 1500}, {1200, 1500}}) {
        SCOPED_TRACE(testing::Message() << "pitch " << pitch);
        t.engine.SetPitch(0, static_cast<int16_t>(pitch));
        const auto out = t.Render(kRate * ms / 1000);
        songMs += ms * pitch / 1000.0;
        // A pure tone has x[n+1] - 2 cos(w) x[n] + x[n-1] = 0; a jump shows at once. A high
        // tone, so that two renderings a few frames apart would cancel in a crossfade.
        const double c = 2 * std::cos(2 * M_PI * 5 * pitch / kRate);
        double jump = 0;
        for (size_t i = 1024; i + 1 < out.size() / 2; ++i)
            jump = std::max(jump, std::fabs(out[2 * (i + 1)] - c * out[2 * i] + out[2 * (i - 1)]));
        EXPECT_LT(jump, 1e-3);
        for (size_t at = std::exchange(from, 0); at + 256 <= out.size() / 2; at += 256)
            ASSERT_NEAR(RmsDb(out, 0, at, at + 256), -9.03, 0.5) << "frame " << at;
    }
    EXPECT_NEAR(t.engine.GetSoundPosition(0), songMs, 3);
}

namespace {
double Cents(double freq, double reference) {
    return 1200.0 * std::log2(freq / reference);
}
// The first output frame louder than `threshold` from `from` on, or -1.
long Onset(const std::vector<float>& out, float threshold, size_t from = 0) {
    for (size_t i = from; i < out.size() / 2; ++i)
        if (std::fabs(out[2 * i]) > threshold) return static_cast<long>(i);
    return -1;
}
} // namespace

// Key lock: at pitch 1080 a tone keeps its key while the song moves 8 % faster; what is heard
// stays where the position says (an onset comes when it does without the lock); switched while
// playing it crossfades; the end comes once, at the song's end; and off, the sound is the plain
// varispeed's to the bit.
TEST(EnginePitch, KeyLockKeepsTheKeyAndTheTime) {
    const std::string tone = ToneMp3("keylock_tone", 3.0, 440.0);
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, tone));
    t.engine.SetKeyLock(0, true);
    const auto locked = PlayAt(t, tone, 1080, 1.5);
    const std::vector<float> tail(locked.begin() + 2 * 22050, locked.end());
    EXPECT_NEAR(Cents(ToneFrequency(tail, 0, kRate), 440.0), 0.0, 5.0);
    EXPECT_NEAR(Peak(tail), 0.5f, 0.05f);
    EXPECT_NEAR(t.engine.GetSoundPosition(0), 1620, 5);

    // An onset one second into the song is heard at the same output time with or without it.
    const std::string burst = SynthMp3("keylock_burst", "0.3 sine 1000 vol 0.5 pad 1 1");
    long onset[2];
    for (bool lock : {false, true}) {
        OfflineEngine e;
        ASSERT_TRUE(e.Load(0, burst));
        e.engine.SetKeyLock(0, lock);
        onset[lock] = Onset(PlayAt(e, burst, 1080, 1.5), 0.1f);
        EXPECT_NEAR(onset[lock], kRate / 1.08, kRate * 0.006) << "lock " << lock;
    }
    EXPECT_NEAR(onset[1], onset[0], kRate * 0.003);

    // Switched off and on while playing: a crossfade, neither a click (no step larger than the
    // tone's own) nor a gap (no 3 ms much below the tone's level), and the song goes on.
    const double c = 2 * std::cos(2 * M_PI * 440 / kRate);
    const int32_t before = t.engine.GetSoundPosition(0);
    double jump = 0, quietest = 0;
    for (bool lock : {false, true}) {
        t.engine.SetKeyLock(0, lock);
        const auto out = t.Render(kRate / 4);
        for (size_t i = 1; i + 1 < out.size() / 2; ++i)
            jump = std::max(jump, std::fabs(out[2 * (i + 1)] - c * out[2 * i] + out[2 * (i - 1)]));
        for (size_t at = 0; at + 128 <= out.size() / 2; at += 64)
            quietest = std::min(quietest, RmsDb(out, 0, at, at + 128));
    }
    EXPECT_LT(jump, 0.02) << "no click";
    EXPECT_GT(quietest, -16.0) << "no gap (the tone is at -9 dB)";
    EXPECT_NEAR(t.engine.GetSoundPosition(0), before + 540, 10);

    // To the end through the lock: Done once, the position at the song's end.
    t.Render(kRate * 2);
    EXPECT_EQ(t.done[0], 1);
    EXPECT_EQ(t.engine.GetSoundPosition(0), 3000);

    // Switched off before the sound starts, nothing of it is left: the plain varispeed's samples
    // to the bit.
    OfflineEngine once, never;
    ASSERT_TRUE(once.Load(0, tone));
    once.engine.SetKeyLock(0, true);
    once.engine.SetKeyLock(0, false);
    EXPECT_EQ(PlayAt(once, tone, 1080, 0.5), PlayAt(never, tone, 1080, 0.5));
}
