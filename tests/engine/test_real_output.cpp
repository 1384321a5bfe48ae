// Four players through the real output path: PortAudio -> ALSA -> a PulseAudio null sink that
// keeps real-time pace. ctest starts the server (fixture engine_pulse); this test then stops
// it mid-play and checks the engine carries on through the null output.
#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>

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
            p, QString::fromStdString(ToneMp3("real" + std::to_string(p), 12.0, 300 + 200 * p)));
        engine.SetVolume(p, 50);
    }
    ASSERT_TRUE(engine.WaitIdle(10000));
    for (int16_t p = 0; p < 4; ++p)
        engine.PlaySound(p);
    Wait(engine, 2500); // the sound server stalls a moment while the stream starts
    engine.ResetOutputStats();
    int32_t before[4];
    for (int16_t p = 0; p < 4; ++p)
        before[p] = engine.GetSoundPosition(p);
    QElapsedTimer clock;
    clock.start();
    Wait(engine, 3000);
    const double elapsed = clock.elapsed();
    for (int16_t p = 0; p < 4; ++p) {
        EXPECT_NEAR(engine.GetSoundPosition(p) - before[p], elapsed, 0.03 * elapsed)
            << "player " << p;
        EXPECT_EQ(engine.GetPlayerStatus(p), kPlaying);
    }
    const OutputStats stats = engine.GetOutputStats();
    EXPECT_EQ(stats.lateBuffers, 0u) << "lost buffers through the real device";
    EXPECT_GT(stats.buffers, 400u);
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
