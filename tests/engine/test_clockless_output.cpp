// A default device that is no clock (ALSA's null PCM, which takes audio thousands of times
// faster than real time) is dropped for the null output before songs race ahead.
// ctest points ALSA at a configuration whose default PCM is null.
#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>

using namespace spinx;
using namespace spinx::test;

TEST(ClocklessOutput, NullPcmFallsBackToTheNullOutput) {
    ASSERT_NE(std::getenv("ALSA_CONFIG_PATH"), nullptr) << "run through ctest";
    const std::string song = ToneMp3("clockless", 10.0, 440);
    Aspinx engine(OutputKind::Default);
    engine.LoadSound(0, QString::fromStdString(song));
    ASSERT_TRUE(engine.WaitIdle());
    engine.PlaySound(0);
    QElapsedTimer clock;
    clock.start();
    while (engine.ActiveOutput() != OutputKind::Null && clock.elapsed() < 3000)
        QThread::msleep(10);
    ASSERT_EQ(engine.ActiveOutput(), OutputKind::Null);
    QThread::msleep(500);
    const int32_t pos = engine.GetSoundPosition(0);
    EXPECT_LT(pos, clock.elapsed() + 600) << "at most half a second raced ahead";
    EXPECT_EQ(engine.GetPlayerStatus(0), PlayerStatus::Playing);
    QThread::msleep(500);
    EXPECT_NEAR(engine.GetSoundPosition(0) - pos, 500, 60) << "then real-time pace";
}
