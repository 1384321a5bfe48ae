// Loading, transport, positions and the end of a song, on the offline output.
#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace spinx;
using namespace spinx::test;

namespace {
constexpr int kRate = 44100;
constexpr int kFade = 221; // the 5 ms start fade, rounded up

std::string Tone2s() {
    return ToneMp3("tone2s", 2.0, 1000.0);
}
// A tone is periodic; noise shows any offset.
std::string Noise3s() {
    return SynthMp3("noise", "3 whitenoise vol 0.3");
}
} // namespace

// The length is exact to the sample (gapless), SoundLoaded carries item 0, nothing plays yet.
TEST(EngineLoad, LoadReportsExactLengthAndStopsThere) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, Tone2s()));
    EXPECT_EQ(t.engine.GetSoundDuration(0), 2000);
    EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Stopped);
    EXPECT_EQ(t.engine.GetSoundPosition(0), 0);
    EXPECT_FLOAT_EQ(Peak(t.Render(4096)), 0.0f);
    EXPECT_EQ(t.engine.GetSoundDuration(1), 0) << "an empty player has no length";
    EXPECT_EQ(t.engine.GetPlayerStatus(1), PlayerStatus::Stopped);
    EXPECT_EQ(t.engine.GetPlayerStatus(7), PlayerStatus::Stopped) << "players outside 0..3 are ignored";
}

// The position follows the rendered frames exactly while playing; pause fades out and keeps
// it, play resumes from there, and stop keeps it too.
TEST(EngineTransport, PositionPauseAndStop) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, Tone2s()));
    t.engine.PlaySound(0);
    EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Playing);
    t.Render(kRate / 2);
    EXPECT_EQ(t.engine.GetSoundPosition(0), 500);
    EXPECT_EQ(t.engine.PositionText(0), QStringLiteral("0:00 / 0:02"));
    t.engine.PauseSound(0);
    EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Paused);
    const auto fade = t.Render(1024);
    const int32_t paused = t.engine.GetSoundPosition(0);
    EXPECT_LE(paused, 506) << "the pause fade lasts a few ms";
    EXPECT_GT(Peak(fade, -1, 0, 64), 0.1f) << "fades, does not cut";
    EXPECT_FLOAT_EQ(Peak(fade, -1, 400), 0.0f) << "silent after the fade (and the limiter's 2 ms)";
    t.Render(kRate / 10);
    EXPECT_EQ(t.engine.GetSoundPosition(0), paused);
    t.engine.PlaySound(0);
    t.Render(kRate / 10);
    EXPECT_EQ(t.engine.GetSoundPosition(0), paused + 100);
    t.engine.StopSound(0);
    EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Stopped);
    t.Render(2048);
    const int32_t stopped = t.engine.GetSoundPosition(0);
    EXPECT_NEAR(stopped, paused + 100, 8);
    t.Render(4096);
    EXPECT_EQ(t.engine.GetSoundPosition(0), stopped);
}

// SoundDone comes exactly once, right at the last sample, and the player stops at the end.
TEST(EngineTransport, SoundDoneOnceAtTheExactEnd) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, Tone2s()));
    t.engine.PlaySound(0);
    const int length = 2 * kRate;
    auto out = t.Render(length - 100, 100);
    EXPECT_EQ(t.done[0], 0);
    EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Playing);
    out = t.Render(300, 300);
    EXPECT_EQ(t.done[0], 1);
    EXPECT_GT(Peak(out, -1, 0, 100), 0.1f) << "the last 100 frames still sound";
    EXPECT_FLOAT_EQ(Peak(out, -1, 100), 0.0f) << "nothing after the end";
    EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Stopped);
    EXPECT_EQ(t.engine.GetSoundPosition(0), 2000);
    t.Render(kRate);
    EXPECT_EQ(t.done[0], 1) << "exactly once";
}

// Playing straight through is the decoder's output sample for sample, across the worker's
// background index scan and every ring refill; the length is every decoded frame.
TEST(EngineTransport, PlaybackIsTheDecodedAudio) {
    OfflineEngine t;
    const std::string noise = Noise3s();
    const std::vector<float> straight = DecodeAll(noise);
    ASSERT_TRUE(t.Load(0, noise));
    EXPECT_EQ(t.engine.GetSoundDuration(0),
              static_cast<int32_t>(straight.size() / 2 * 1000 / kRate));
    t.engine.PlaySound(0);
    const auto out = t.Render(static_cast<int>(straight.size() / 2) + 1000, 333);
    for (size_t i = kFade; i < straight.size() / 2; ++i)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(out[2 * i + c], straight[2 * i + c]) << "frame " << i;
    EXPECT_FLOAT_EQ(Peak(out, -1, straight.size() / 2), 0.0f);
    EXPECT_EQ(t.done[0], 1);
}

// A seek lands on the exact sample, stopped or paused: what plays after it equals a straight
// decode from there. Seeking while playing reports the new place at once and plays on.
TEST(EngineTransport, SeekMatchesStraightDecode) {
    OfflineEngine t;
    const std::vector<float> straight = DecodeAll(Noise3s());
    ASSERT_TRUE(t.Load(0, Noise3s()));
    for (int32_t ms : {1234, 77, 2500}) {
        t.engine.SeekSound(0, ms);
        EXPECT_EQ(t.engine.GetSoundPosition(0), ms);
        t.engine.PlaySound(0);
        const auto out = t.Render(4096);
        const size_t start = (static_cast<size_t>(ms) * kRate + 999) / 1000;
        for (size_t i = kFade; i < 4096; ++i)
            for (int c = 0; c < 2; ++c)
                ASSERT_EQ(out[2 * i + c], straight[2 * (start + i) + c])
                    << "seek " << ms << " frame " << i;
        t.engine.PauseSound(0);
        t.Render(1024);
    }
    // While playing, the new place follows the old one's fade-out at once, not a buffer later.
    t.engine.PlaySound(0);
    t.Render(1024);
    t.engine.SeekSound(0, 1500);
    EXPECT_EQ(t.engine.GetSoundPosition(0), 1500);
    const auto out = t.Render(kRate / 10);
    size_t silent = 0; // the fade-out's last frame
    while (out[2 * silent] != 0.0f || out[2 * silent + 1] != 0.0f)
        ++silent;
    const size_t start = static_cast<size_t>(1500) * kRate / 1000;
    for (size_t i = kFade; i < 4096; ++i)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(out[2 * (silent + 1 + i) + c], straight[2 * (start + i) + c]) << i;
    EXPECT_NEAR(t.engine.GetSoundPosition(0), 1600, 12);
    EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Playing);
}

// Files that cannot play raise SoundLoadFailed with a reason, and the player stays usable.
TEST(EngineLoad, UnplayableFilesFailCleanly) {
    OfflineEngine t;
    const std::string good = Tone2s();
    const std::string text = WriteFile("notes.mp3", std::string(5000, 'x') + "\nplain text\n");
    const std::string cut = TruncatedCopy(good, "cut.mp3", 16000);
    const std::string stub = TruncatedCopy(good, "stub.mp3", 300);
    const std::string empty = WriteFile("empty.mp3", "");
    int failures = 0;
    for (const std::string& bad : {ScratchDir() + "/missing.mp3", text, cut, stub, empty}) {
        ASSERT_TRUE(t.Load(0, good));
        EXPECT_FALSE(t.Load(0, bad)) << bad;
        EXPECT_EQ(t.failed[0], ++failures) << bad;
        EXPECT_FALSE(t.lastFailure.isEmpty());
        EXPECT_EQ(t.engine.GetSoundDuration(0), 0) << bad;
        EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Stopped) << bad;
        t.engine.PlaySound(0);
        EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Stopped) << "nothing to play: " << bad;
        EXPECT_FLOAT_EQ(Peak(t.Render(2048)), 0.0f);
    }
    ASSERT_TRUE(t.Load(0, good));
    t.engine.PlaySound(0);
    t.Render(kRate / 10);
    EXPECT_EQ(t.engine.GetSoundPosition(0), 100);
}

// A new load replaces the song at once, even while the old one plays.
TEST(EngineLoad, LoadReplacesAPlayingSong) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, Tone2s()));
    t.engine.PlaySound(0);
    t.Render(kRate / 2);
    ASSERT_TRUE(t.Load(0, ToneMp3("tone1s", 1.0, 500.0)));
    EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Stopped);
    EXPECT_EQ(t.engine.GetSoundPosition(0), 0);
    EXPECT_EQ(t.engine.GetSoundDuration(0), 1000);
    t.Render(4096);
    EXPECT_EQ(t.done[0], 0) << "the replaced song does not report its end";
}
