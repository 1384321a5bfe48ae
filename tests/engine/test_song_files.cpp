// Real-world files, the waveform overview, the recent-output window and the Qt delivery of
// events across threads.
#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

using namespace spinx;
using namespace spinx::test;

// Every MP3 of the shared test corpus loads (or fails cleanly) and plays to its end without a
// crash, a hang or a second SoundDone; the lengths agree with a straight decode, and nearly
// every file (all but deliberately damaged ones) ends exactly at its length after two seeks.
TEST(SongFiles, SharedCorpusPlays) {
    QDir dir(QStringLiteral(SPINX_TESTDATA));
    QStringList files = dir.entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Name);
    for (const QString& f : QDir(dir.filePath(QStringLiteral("generated")))
                                .entryList({QStringLiteral("*.mp3")}, QDir::Files))
        files << QStringLiteral("generated/") + f;
    ASSERT_GT(files.size(), 20);
    OfflineEngine t;
    int played = 0, exactEnds = 0;
    for (const QString& f : files) {
        const std::string path = dir.filePath(f).toStdString();
        SCOPED_TRACE(path);
        const int failedBefore = t.failed[0];
        const bool ok = t.Load(0, path);
        if (!ok) {
            EXPECT_EQ(t.failed[0], failedBefore + 1) << "neither loaded nor failed";
            EXPECT_EQ(t.engine.GetSoundDuration(0), 0);
            continue;
        }
        ++played;
        const int32_t length = t.engine.GetSoundDuration(0);
        int rate = 0;
        const size_t decoded = DecodeAll(path, &rate).size() / 2;
        EXPECT_EQ(length, static_cast<int32_t>(decoded * 1000 / rate))
            << "length against a full decode";
        t.engine.SetPitch(0, 1000);
        t.engine.SeekSound(0, length / 3);
        t.engine.PlaySound(0);
        const int doneBefore = t.done[0];
        // Seek once more while playing, then render to the end (bounded).
        t.Render(256);
        t.engine.SeekSound(0, length / 2);
        const int frames = static_cast<int>(static_cast<int64_t>(length) * 44100 / 1000) + 44100;
        t.Render(frames, 4096);
        EXPECT_EQ(t.done[0], doneBefore + 1) << "SoundDone once";
        EXPECT_LE(t.engine.GetSoundPosition(0), length);
        exactEnds += t.engine.GetSoundPosition(0) == length;
        EXPECT_EQ(t.engine.GetPlayerStatus(0), PlayerStatus::Stopped);
    }
    EXPECT_GT(played, static_cast<int>(files.size()) * 3 / 4);
    EXPECT_GE(exactEnds, played - 2);
}

// Damaged frames in the middle of a song are skipped: it loads, plays on past them and ends
// once at its end, where the length is corrected to what really played.
TEST(SongFiles, CorruptFramesMidSongAreSkipped) {
    const std::string good = ToneMp3("corrupt_src", 4.0, 440);
    std::ifstream in(good, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 60000u);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 3000; ++i)
        bytes[i] = static_cast<char>(i * 7919);
    const std::string bad = WriteFile("corrupt_mid.mp3", bytes);
    // The damaged 3000 bytes hold about 190 ms; the decoder may give up a few frames around
    // them while it resyncs, so the length lies between the two.
    const auto plausible = [](int ms) { return ms >= 3700 && ms <= 4010; };
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, bad));
    EXPECT_PRED1(plausible, t.engine.GetSoundDuration(0));
    t.engine.PlaySound(0);
    const auto out = t.Render(5 * 44100, 4096);
    EXPECT_EQ(t.done[0], 1);
    EXPECT_PRED1(plausible, t.engine.GetSoundDuration(0));
    EXPECT_EQ(t.engine.GetSoundPosition(0), t.engine.GetSoundDuration(0));
    EXPECT_GT(Peak(out, -1, 3 * 44100, static_cast<size_t>(3.5 * 44100)), 0.3f)
        << "sound after the damage";
}

// The overview is complete soon after the load, before anything plays, and close to a straight
// decode's; once the song has played through, the played peaks make it match closely. At 128 kbps
// a frame may borrow from the frames before it that the sampling decodes ahead of each stretch;
// at 320 kbps only one is needed.
TEST(SongFiles, WaveformOverview) {
    OfflineEngine t;
    int ready = 0;
    QObject::connect(&t.engine, &Aspinx::WaveformReady, [&](int16_t p) { ready += p == 1; });
    auto waitReady = [&](int count) {
        for (int i = 0; i < 5000 && ready < count; ++i) {
            t.engine.DeliverEvents();
            QThread::msleep(2);
        }
        return ready >= count;
    };
    std::vector<float> pcm;
    int points = 0;
    // Points whose peaks differ from the straight decode's by more than `tolerance`.
    auto pointsOff = [&](const Waveform& w, float tolerance) {
        const size_t frames = pcm.size() / 2;
        int off = 0;
        for (int p = 0; p < points; ++p) {
            const size_t from = frames * p / points, to = frames * (p + 1) / points;
            off += std::fabs(w.maxLeft[p] - Peak(pcm, 0, from, to)) > tolerance ||
                   std::fabs(-w.minRight[p] - Peak(pcm, 1, from, to)) > tolerance;
        }
        return off;
    };
    for (const char* bitrate : {"-b 128", "-b 320"}) {
        // A 440 Hz tone rising evenly from silence to 0.8 over 70 s: long enough to be sampled.
        const std::string mp3 =
            SynthMp3(std::string("ramp") + (bitrate + 3), "70 sine 440 vol 0.8 fade t 70", bitrate);
        ASSERT_TRUE(t.Load(1, mp3));
        ASSERT_TRUE(waitReady(ready + 1));
        const auto sampled = t.engine.GetWaveform(1);
        ASSERT_TRUE(sampled);
        EXPECT_EQ(sampled->durationMs, t.engine.GetSoundDuration(1));
        pcm = DecodeAll(mp3);
        points = sampled->points();
        ASSERT_GT(points, 1000);
        EXPECT_EQ(pointsOff(*sampled, 0.05f), 0) << "sampled overview " << bitrate;
    }
    t.engine.PlaySound(1);
    t.Render(71 * 44100, 4096);
    // Overviews are refreshed as the decode goes; the last one comes when it reaches the end,
    // which on a busy machine may be a moment after the render.
    std::shared_ptr<const Waveform> played;
    for (int i = 0; i < 2500; ++i) {
        t.engine.DeliverEvents();
        played = t.engine.GetWaveform(1);
        if (played && played->points() == points && pointsOff(*played, 0.01f) == 0) break;
        QThread::msleep(2);
    }
    ASSERT_TRUE(played);
    ASSERT_EQ(played->points(), points);
    EXPECT_EQ(pointsOff(*played, 0.01f), 0) << "after playing through";

    EXPECT_FALSE(t.engine.GetWaveform(0)) << "nothing for an empty player";
    // Asked before the worker has even taken the load: the old song's overview must not pass
    // for the new song's.
    t.engine.LoadSound(1, ToneMp3("wave2", 1.0, 440));
    EXPECT_FALSE(t.engine.GetWaveform(1)) << "a new song drops the old overview at once";
    ASSERT_TRUE(t.engine.WaitIdle());
    EXPECT_TRUE(!t.engine.GetWaveform(1) || t.engine.GetWaveform(1)->durationMs == 1000);
}

// A big file without an Info frame loads without waiting for a scan; the scan that follows
// publishes the exact length, and the song ends exactly there.
TEST(SongFiles, LengthWithoutInfoFrameBecomesExact) {
    const std::string mp3 = ToneMp3("noinfo_long", 110.0, 440, 44100, 2, "-t -b 320");
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, mp3)); // waits for the scan as well
    const auto exact = static_cast<int32_t>(DecodeAll(mp3).size() / 2 * 1000 / 44100);
    ASSERT_EQ(t.engine.GetSoundDuration(0), exact);
    t.engine.SeekSound(0, exact - 300);
    t.engine.PlaySound(0);
    t.Render(44100, 4096);
    EXPECT_EQ(t.done[0], 1);
    EXPECT_EQ(t.engine.GetSoundPosition(0), exact);
}

// The recent-output window holds the player's latest frames after its gains.
// A file name is bytes: one that is not UTF-8 (Latin-1, or any byte) loads like any other.
TEST(SongFiles, NamesThatAreNotUtf8Load) {
    OfflineEngine t;
    const std::string song = ToneMp3("bytes", 1.0, 440);
    for (const std::string name : {"/bad\xff.mp3", "/latin\xe9.mp3"}) {
        const std::string path = ScratchDir() + name;
        std::filesystem::copy_file(song, path);
        EXPECT_TRUE(t.Load(0, path)) << t.lastFailure.toStdString();
        EXPECT_EQ(t.engine.SongPath(0), path);
    }
}

TEST(SongFiles, CopyRecentOutput) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(2, ToneMp3("recent", 2.0, 440)));
    t.engine.SetBalance(2, 0);
    t.engine.PlaySound(2);
    const auto out = t.Render(8192);
    std::vector<float> recent(1024 * 2);
    ASSERT_EQ(t.engine.CopyRecentOutput(2, recent.data(), 1024), 1024);
    for (size_t i = 0; i < 2048; ++i)
        ASSERT_EQ(recent[i], out[out.size() - 2048 + i]) << i;
    EXPECT_EQ(t.engine.CopyRecentOutput(3, recent.data(), 1024), 0) << "a silent player has none";
    EXPECT_EQ(t.engine.CopyRecentOutput(9, recent.data(), 1024), 0);
}

// Signals reach a receiver in another thread through queued connections (int16_t arguments),
// driven by the engine's own wake-ups alone, in the order they happened.
TEST(SongFiles, QueuedConnectionsDeliver) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    Aspinx engine(OutputKind::Null);
    QThread other;
    QObject receiver;
    receiver.moveToThread(&other);
    other.start();
    std::atomic<int> loaded{-1}, done{-1};
    std::string order; // written by the receiver's thread only
    auto queued = [&](auto signal, auto slot) {
        QObject::connect(&engine, signal, &receiver, slot, Qt::QueuedConnection);
    };
    queued(&Aspinx::SoundLoaded, [&](int16_t p, int16_t) { order += 'L', loaded = p; });
    queued(&Aspinx::WaveformReady, [&](int16_t) { order += 'W'; });
    queued(&Aspinx::SoundDone, [&](int16_t p) { order += 'D', done = p; });
    auto waitFor = [](const std::atomic<int>& value) {
        QElapsedTimer clock;
        clock.start();
        while (value < 0 && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    engine.LoadSound(3, QString::fromStdString(ToneMp3("queued", 0.3, 440)));
    waitFor(loaded);
    EXPECT_EQ(loaded, 3) << "SoundLoaded with nothing playing: the workers' wake-up";
    engine.PlaySound(3);
    waitFor(done);
    EXPECT_EQ(done, 3) << "SoundDone: collected while playing";
    other.quit();
    other.wait();
    EXPECT_EQ(order.substr(0, 2), "LW");
    EXPECT_EQ(order.back(), 'D');
}
