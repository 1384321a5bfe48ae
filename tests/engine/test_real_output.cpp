// Four players through the real output path: PortAudio -> ALSA -> a PulseAudio null sink that
// keeps real-time pace. ctest starts the server (fixture engine_pulse); this test then stops
// it mid-play and checks the engine carries on through the null output.
#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace spinx;
using namespace spinx::test;

namespace {
void Wait(Aspinx& engine, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        engine.DeliverEvents();
        QThread::msleep(10);
    }
}
} // namespace

TEST(RealOutput, FourPlayersThroughPulseAudioThenFallBack) {
    const char* dir = std::getenv("SPINX_PULSE_DIR");
    ASSERT_NE(dir, nullptr) << "run through ctest: the engine_pulse fixture starts the server";
    Aspinx engine(OutputKind::Default);
    ASSERT_EQ(engine.ActiveOutput(), OutputKind::Default)
        << "PortAudio found no working device; is the PulseAudio server of the test fixture up?";
    EXPECT_EQ(engine.SampleRate(), 44100);

    for (int16_t p = 0; p < 4; ++p) {
        engine.LoadSound(
            p, QString::fromStdString(ToneMp3("real" + std::to_string(p), 30.0, 300 + 200 * p)));
        engine.SetVolume(p, 50);
    }
    ASSERT_TRUE(engine.WaitIdle(10000));
    for (int16_t p = 0; p < 4; ++p)
        engine.PlaySound(p);
    // The sound server stalls a second or two while the stream starts: wait until a 500 ms
    // window runs at real-time pace.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int32_t at = engine.GetSoundPosition(0);
        QElapsedTimer window;
        window.start();
        Wait(engine, 500);
        if (std::abs(engine.GetSoundPosition(0) - at - window.elapsed()) < 25) break;
        ASSERT_LT(clock.elapsed(), 10000) << "the output never reached real-time pace";
    }
    // Three seconds of four players: real-time pace on every player and no buffer lost. On a
    // shared machine the server itself may stall once; a second window must then be clean.
    std::string failures;
    for (int attempt = 0; attempt < 2; ++attempt) {
        engine.ResetOutputStats();
        int32_t before[4];
        for (int16_t p = 0; p < 4; ++p)
            before[p] = engine.GetSoundPosition(p);
        QElapsedTimer window;
        window.start();
        Wait(engine, 3000);
        const double elapsed = window.elapsed();
        const OutputStats stats = engine.GetOutputStats();
        std::string problems;
        for (int16_t p = 0; p < 4; ++p) {
            const int32_t moved = engine.GetSoundPosition(p) - before[p];
            if (std::abs(moved - elapsed) > 0.03 * elapsed)
                problems += " player " + std::to_string(p) + " moved " + std::to_string(moved) +
                            " ms in " + std::to_string(static_cast<int>(elapsed)) + " ms;";
            if (engine.GetPlayerStatus(p) != kPlaying) problems += " a player stopped;";
        }
        if (stats.lateBuffers != 0)
            problems += " " + std::to_string(stats.lateBuffers) + " lost buffers;";
        if (stats.buffers < 400) problems += " only " + std::to_string(stats.buffers) + " buffers;";
        if (problems.empty()) break;
        failures += "window " + std::to_string(attempt + 1) + ":" + problems + "\n";
        ASSERT_EQ(attempt, 0) << failures;
    }
    if (!failures.empty()) std::printf("first window not clean, second was: %s", failures.c_str());
    EXPECT_EQ(engine.ActiveOutput(), OutputKind::Default);

    // The sound server goes away mid-play: the engine falls back and keeps time.
    ASSERT_EQ(std::system((std::string(SPINX_PULSE_SCRIPT) + " stop " + dir).c_str()), 0);
    clock.restart();
    while (engine.ActiveOutput() != OutputKind::Null && clock.elapsed() < 8000)
        Wait(engine, 50);
    ASSERT_EQ(engine.ActiveOutput(), OutputKind::Null) << "no fall-back after the server stopped";
    const int32_t at = engine.GetSoundPosition(0);
    clock.restart();
    Wait(engine, 1000);
    EXPECT_NEAR(engine.GetSoundPosition(0) - at, clock.elapsed(), 60);
    EXPECT_EQ(engine.GetPlayerStatus(0), kPlaying);
}
