// The null output keeps real-time pace by itself: positions advance and events fire.
#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

using namespace spinx;
using namespace spinx::test;

TEST(NullOutput, PlaysAtRealTimePace) {
    Aspinx engine(OutputKind::Null);
    EXPECT_EQ(engine.ActiveOutput(), OutputKind::Null);
    int done = 0;
    QObject::connect(&engine, &Aspinx::SoundDone, [&](int16_t) { ++done; });
    engine.LoadSound(0, QString::fromStdString(ToneMp3("null_tone", 1.0, 440.0)));
    ASSERT_TRUE(engine.WaitIdle());
    ASSERT_EQ(engine.GetSoundDuration(0), 1000);
    QElapsedTimer clock;
    engine.PlaySound(0);
    clock.start();
    QThread::msleep(400);
    const int32_t pos = engine.GetSoundPosition(0);
    EXPECT_NEAR(pos, clock.elapsed(), 40);
    while (done == 0 && clock.elapsed() < 3000) {
        engine.DeliverEvents();
        QThread::msleep(5);
    }
    EXPECT_EQ(done, 1);
    EXPECT_NEAR(clock.elapsed(), 1000, 80) << "the song lasts one second of real time";
    EXPECT_EQ(engine.GetPlayerStatus(0), kStopped);
    const OutputStats stats = engine.GetOutputStats();
    EXPECT_GT(stats.buffers, 100u);
}
