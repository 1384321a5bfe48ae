// The null output keeps real-time pace by itself: positions advance and events fire.
#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <sys/stat.h>

using namespace spinx;
using namespace spinx::test;

TEST(NullOutput, PlaysAtRealTimePace) {
    Aspinx engine(OutputKind::Null);
    int done = 0;
    QObject::connect(&engine, &Aspinx::SoundDone, [&](int16_t) { ++done; });
    engine.LoadSound(0, QString::fromStdString(ToneMp3("null_tone", 1.0, 440.0)));
    ASSERT_TRUE(engine.WaitIdle());
    ASSERT_EQ(engine.GetSoundDuration(0), 1000);
    QElapsedTimer clock;
    engine.PlaySound(0);
    clock.start();
    QThread::msleep(400);
    EXPECT_NEAR(engine.GetSoundPosition(0), clock.elapsed(), 40);
    while (done == 0 && clock.elapsed() < 3000) {
        engine.DeliverEvents();
        QThread::msleep(5);
    }
    EXPECT_EQ(done, 1);
    EXPECT_NEAR(clock.elapsed(), 1000, 80) << "the song lasts one second of real time";
    EXPECT_EQ(engine.GetPlayerStatus(0), PlayerStatus::Stopped);
    EXPECT_GT(engine.GetOutputStats().buffers, 100u);
}

// A named pipe given as a song fails at once with a reason (opening it would wait for a writer
// for good), and the engine still shuts down at once after another such load.
TEST(NullOutput, NamedPipeFailsFastAndShutDownStaysBounded) {
    const std::string pipe = ScratchDir() + "/pipe.mp3";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    {
        Aspinx engine(OutputKind::Null);
        QString reason;
        QObject::connect(&engine, &Aspinx::SoundLoadFailed,
                         [&](int16_t, QString, QString why) { reason = why; });
        engine.LoadSound(0, QString::fromStdString(pipe));
        ASSERT_TRUE(engine.WaitIdle(3000));
        EXPECT_TRUE(reason.contains(QStringLiteral("pipe"))) << reason.toStdString();
        EXPECT_EQ(engine.GetPlayerStatus(0), PlayerStatus::Stopped);
        engine.LoadSound(1, QString::fromStdString(pipe));
    }
    EXPECT_LT(clock.elapsed(), 3000);
}
