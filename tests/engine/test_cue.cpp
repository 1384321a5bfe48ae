// The headphones' cue: the cue bus and the headphone mix on the offline output (what a cued
// player sounds like there, the knob and volume, the split Y-cable output, and a master that
// cueing never changes), then a second output on the test sound server, which ctest starts
// (fixture engine_pulse): a cued deck heard on the headphones' sink and not on the master's, and
// the headphones' sink taken away under a playing master.
#include "EngineTestUtil.h"
#include "SinkRecording.h"
#include "engine/GainLaw.h"
#include "engine/HeadphoneRing.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace spinx;
using namespace spinx::test;

namespace {
constexpr int kRate = 44100;
constexpr size_t kSettled = 2048; // past the start fade and the first gain glides

#if defined(__SANITIZE_THREAD__)
constexpr bool kTimed = false; // the sanitizer slows every thread many times over: no deadlines
#else
constexpr bool kTimed = true;
#endif

std::string CueTone() {
    return ToneMp3("cue440", 5.0, 440.0);
}
std::string MasterTone() {
    return ToneMp3("master660", 5.0, 660.0);
}

// Master and headphones of one offline render, side by side.
struct Both {
    std::vector<float> master, phones;
};
Both RenderBoth(Aspinx& engine, int frames, int chunk = 300) {
    Both b{std::vector<float>(2 * frames), std::vector<float>(2 * frames)};
    for (int at = 0; at < frames; at += chunk) {
        const int n = std::min(chunk, frames - at);
        engine.RenderOffline(b.master.data() + 2 * at, n, b.phones.data() + 2 * at);
    }
    return b;
}

// A 440 Hz deck 0 at volume 0, balance hard left, and a 660 Hz deck 1 at full volume, both
// playing: the desk of a DJ cueing the next song while the last one plays.
void CueingDesk(OfflineEngine& t) {
    ASSERT_TRUE(t.Load(0, CueTone()));
    ASSERT_TRUE(t.Load(1, MasterTone()));
    t.engine.SetVolume(0, 0);
    t.engine.SetBalance(0, 0);
    t.engine.PlaySound(0);
    t.engine.PlaySound(1);
}

// Runs a shell command and returns its first line of output.
std::string Output(const std::string& command) {
    std::string line;
    if (FILE* shell = popen(command.c_str(), "r")) {
        char buffer[256];
        if (std::fgets(buffer, sizeof buffer, shell)) line = buffer;
        pclose(shell);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The loudest sample of a sink recording (16-bit frames, one int32 each), full scale = 1.
float RecordedPeak(const std::vector<int32_t>& frames) {
    int peak = 0;
    for (int32_t f : frames)
        peak = std::max({peak, std::abs(static_cast<int16_t>(f & 0xffff)), std::abs(f >> 16)});
    return static_cast<float>(peak) / 32768.0f;
}
} // namespace

// A cued deck at volume 0 (and balance hard over) is heard in the headphones at its own level
// on both sides, with the cue knob at 0 nothing of the master; the master is bit for bit what
// an engine that never cued plays, while the cue goes on and off.
TEST(CueBus, CuedDeckAtVolumeZeroIsHeardAndTheMasterIsUntouched) {
    OfflineEngine cueing, plain;
    CueingDesk(cueing);
    CueingDesk(plain);
    cueing.engine.SetCue(0, true);
    EXPECT_TRUE(cueing.engine.IsCued(0));
    EXPECT_FALSE(cueing.engine.IsCued(1));

    const Both on = RenderBoth(cueing.engine, kRate / 2);
    const std::vector<float> reference = plain.Render(kRate / 2, 300);
    ASSERT_EQ(on.master, reference) << "cueing changed the master";
    EXPECT_NEAR(ToneFrequency(on.master, 0, kRate), 660.0, 2.0);
    EXPECT_NEAR(Peak(on.phones, 0, kSettled), 0.5f, 0.05f) << "the cue before its fader";
    EXPECT_NEAR(Peak(on.phones, 1, kSettled), 0.5f, 0.05f) << "the cue before its balance";
    EXPECT_NEAR(ToneFrequency(on.phones, 0, kRate), 440.0, 2.0) << "only the cue, no master";

    // Off again: the headphones fall silent within a buffer, and the master stays the same.
    cueing.engine.SetCue(0, false);
    const Both off = RenderBoth(cueing.engine, kRate / 4);
    ASSERT_EQ(off.master, plain.Render(kRate / 4, 300));
    EXPECT_EQ(Peak(off.phones, -1, 512), 0.0f);
    EXPECT_GT(Peak(off.phones, -1, 0, 300), 0.0f) << "glides out rather than cutting";

    // The cue follows the deck's EQ: with its fader at unity and the other deck down, the
    // headphones carry exactly what the deck gives the master.
    cueing.engine.SetCue(0, true);
    cueing.engine.SetEqualizer(0, true, EqGains{100, 100, 100, 100, 100, 100, 100, 100, 100, 100});
    cueing.engine.SetVolume(0, 100);
    cueing.engine.SetBalance(0, 50);
    cueing.engine.SetVolume(1, 0);
    RenderBoth(cueing.engine, kRate / 4);
    const Both cut = RenderBoth(cueing.engine, kRate / 4);
    EXPECT_EQ(cut.phones, cut.master);
    EXPECT_LT(RmsDb(cut.phones, 0), RmsDb(on.phones, 0, kSettled) - 3.0) << "the EQ cut is heard";
}

// The cue/master knob and the headphone volume: at 100 the headphones carry exactly the master
// as it is heard, frame for frame in step with it; in the middle both at -3 dB; at 0 only the
// cue; the volume scales all of it by the faders' law, and 0 silences it.
TEST(CueBus, CueMixKnobAndHeadphoneVolume) {
    OfflineEngine t;
    CueingDesk(t);
    t.engine.SetVolume(0, 100);
    t.engine.SetVolume(1, 60);
    t.engine.SetCue(0, true);
    t.engine.SetCueMix(100);
    EXPECT_EQ(t.engine.CueMix(), 100);
    RenderBoth(t.engine, 1024);
    const Both master = RenderBoth(t.engine, kRate / 4);
    EXPECT_EQ(master.phones, master.master) << "master only: the master as heard, in step";

    // Only deck 1 is heard now, so the master side of the knob is measured on its own.
    t.engine.SetCueMix(50);
    t.engine.SetCue(0, false);
    t.engine.SetVolume(0, 0);
    RenderBoth(t.engine, 1024);
    const Both middle = RenderBoth(t.engine, kRate / 4);
    EXPECT_NEAR(RmsDb(middle.phones, 0), RmsDb(middle.master, 0) - 3.01, 0.1);
    t.engine.SetCueMix(0);
    RenderBoth(t.engine, 1024);
    EXPECT_EQ(Peak(RenderBoth(t.engine, kRate / 4).phones), 0.0f) << "cue only, nothing cued";

    t.engine.SetCue(0, true);
    RenderBoth(t.engine, 1024);
    const double full = RmsDb(RenderBoth(t.engine, kRate / 4).phones, 0);
    t.engine.SetHeadphoneVolume(50);
    EXPECT_EQ(t.engine.HeadphoneVolume(), 50);
    RenderBoth(t.engine, 1024);
    EXPECT_NEAR(RmsDb(RenderBoth(t.engine, kRate / 4).phones, 0),
                full + 20.0 * std::log10(engine::FaderGain(50)), 0.05);
    t.engine.SetHeadphoneVolume(0);
    RenderBoth(t.engine, 1024);
    EXPECT_EQ(Peak(RenderBoth(t.engine, kRate / 4).phones), 0.0f);
}

// The knob's law from both ends and the middle: exact at the ends, equal power throughout.
TEST(CueBus, CueMixLaw) {
    EXPECT_EQ(engine::CueMixLaw(0).cue, 1.0f);
    EXPECT_EQ(engine::CueMixLaw(0).master, 0.0f);
    EXPECT_EQ(engine::CueMixLaw(100).cue, 0.0f);
    EXPECT_EQ(engine::CueMixLaw(100).master, 1.0f);
    EXPECT_EQ(engine::CueMixLaw(-5).cue, 1.0f) << "clamped below";
    EXPECT_EQ(engine::CueMixLaw(150).master, 1.0f) << "clamped above";
    for (int m : {1, 25, 50, 99}) {
        const engine::CueMixGain g = engine::CueMixLaw(m);
        EXPECT_NEAR(g.cue * g.cue + g.master * g.master, 1.0f, 1e-5f) << m;
        EXPECT_LT(engine::CueMixLaw(m).cue, engine::CueMixLaw(m - 1).cue) << m;
    }
}

// "split": the one master device carries the master in mono on the left and the headphones in
// mono on the right; the left is exactly the mono of what the master would have been. Back to
// "" the master is stereo again.
TEST(CueBus, SplitPutsTheMasterLeftAndTheCueRight) {
    OfflineEngine split, plain;
    CueingDesk(split);
    CueingDesk(plain);
    split.engine.SetCue(0, true);
    plain.engine.SetCue(0, true);
    ASSERT_TRUE(split.engine.SetHeadphoneOutput(Aspinx::kSplitHeadphones));
    EXPECT_EQ(split.engine.HeadphoneOutput(), Aspinx::kSplitHeadphones);
    const std::vector<float> out = split.Render(kRate / 2, 300);
    const std::vector<float> stereo = plain.Render(kRate / 2, 300);
    for (size_t i = 0; i < out.size() / 2; ++i)
        ASSERT_EQ(out[2 * i], 0.5f * (stereo[2 * i] + stereo[2 * i + 1])) << "frame " << i;
    EXPECT_NEAR(ToneFrequency(out, 0, kRate), 660.0, 2.0) << "the master on the left";
    EXPECT_NEAR(ToneFrequency(out, 1, kRate), 440.0, 2.0) << "the cue on the right";
    EXPECT_NEAR(Peak(out, 1, kSettled), 0.5f, 0.05f) << "the cue in mono, before its balance";

    ASSERT_TRUE(split.engine.SetHeadphoneOutput(""));
    EXPECT_EQ(split.engine.HeadphoneOutput(), "");
    EXPECT_EQ(split.Render(kRate / 4, 300), plain.Render(kRate / 4, 300));
}

// A headphone device that does not exist: false with a reason, the signal for the UI, no
// headphones in use, and the master as before.
TEST(CueBus, MissingHeadphoneDeviceIsReported) {
    OfflineEngine t, plain;
    CueingDesk(t);
    CueingDesk(plain);
    t.engine.SetCue(0, true);
    QString signalled, reason;
    QObject::connect(&t.engine, &Aspinx::HeadphoneOutputFailed,
                     [&](const QString& device, const QString&) { signalled = device; });
    EXPECT_FALSE(t.engine.SetHeadphoneOutput("spinx_no_such_device", &reason));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(signalled, "spinx_no_such_device");
    EXPECT_EQ(t.engine.HeadphoneOutput(), "");
    EXPECT_EQ(t.Render(kRate / 4, 300), plain.Render(kRate / 4, 300));
}

namespace {
// Two devices' clocks simulated: every millisecond the master's side writes its due frames in
// bursts of `writeBurst` and the headphones' side reads its due ones in bursts of `readBurst`,
// the headphones' clock running at `readSpeed` of the master's. The frames count up, so what
// was read shows every frame skipped or padded. Returns what the reader got.
struct Drift {
    std::vector<float> heard; // the left channel of every frame read
    double worstWaitFrames = 0;
};
Drift SimulateDrift(engine::HeadphoneRing& ring, double seconds, int writeBurst, int readBurst,
                    double readSpeed) {
    Drift d;
    std::vector<float> burst(2 * std::max(writeBurst, readBurst));
    double written = 0, read = 0;
    float next = 1;
    for (int ms = 0; ms < seconds * 1000; ++ms) {
        while (written + writeBurst <= (ms + 1) * kRate / 1000.0) {
            for (int i = 0; i < writeBurst; ++i)
                burst[2 * i] = burst[2 * i + 1] = next++;
            ring.Write(burst.data(), writeBurst);
            written += writeBurst;
        }
        while (read + readBurst <= (ms + 1) * kRate * readSpeed / 1000.0) {
            ring.Read(burst.data(), readBurst, kRate);
            for (int i = 0; i < readBurst; ++i)
                d.heard.push_back(burst[2 * i]);
            read += readBurst;
            if (ms > 2000)
                d.worstWaitFrames = std::max(d.worstWaitFrames, ring.AverageWaitFrames());
        }
    }
    return d;
}
// Corrections in `heard` after its first sound: frames that do not follow the frame before, and
// runs of silence (each counted once).
int Corrections(const std::vector<float>& heard) {
    size_t i = 0;
    while (i < heard.size() && heard[i] == 0)
        ++i;
    int corrections = 0;
    float last = 0;
    bool silent = false;
    for (; i < heard.size(); ++i) {
        if (heard[i] == 0) {
            corrections += !silent;
            silent = true;
            continue;
        }
        corrections += !silent && last != 0 && heard[i] != last + 1;
        silent = false;
        last = heard[i];
    }
    return corrections;
}
// Whether every frame heard comes later than the one heard before it.
bool InOrder(const std::vector<float>& heard) {
    float last = 0;
    for (float f : heard) {
        if (f == 0) continue;
        if (f <= last) return false;
        last = f;
    }
    return true;
}
} // namespace

// Between the two devices' clocks the ring never lets the headphones drift away: a master
// clock 0.2 % fast leaves a surplus that is skipped now and then, a slow one a shortfall padded
// with silence now and then; either way the wait stays a few milliseconds, no frame is heard
// twice or out of order, and the sound runs on between the corrections.
TEST(HeadphoneRing, DriftIsSkippedOrPaddedAndTheWaitStaysShort) {
    for (const double speed : {0.998, 1.002}) {
        engine::HeadphoneRing ring;
        ring.Attach(192);
        const Drift d = SimulateDrift(ring, 30.0, 441, 221, speed);
        const bool masterFast = speed < 1;
        EXPECT_EQ(ring.Skipped() > 0, masterFast) << speed;
        EXPECT_EQ(ring.Padded() > 0, !masterFast) << speed;
        EXPECT_EQ(ring.Dropped(), 0u) << speed;
        EXPECT_LT(d.worstWaitFrames, 0.020 * kRate) << speed << ": a wait past 20 ms";
        const int corrections = Corrections(d.heard);
        EXPECT_GT(corrections, 0) << speed;
        EXPECT_LT(corrections, 40) << speed << ": corrected in a few steps, not in every read";
        EXPECT_TRUE(InOrder(d.heard)) << speed;
    }
    // The same clocks: nothing corrected once started.
    engine::HeadphoneRing ring;
    ring.Attach(192);
    EXPECT_EQ(Corrections(SimulateDrift(ring, 10.0, 441, 221, 1.0).heard), 0);
    EXPECT_EQ(ring.Skipped() + ring.Padded(), 0u);
}

// A reader that is gone (or far behind) costs the writer nothing but dropped frames; a new
// reader starts on what is written after it attached, not on the stale frames.
TEST(HeadphoneRing, NoReaderDropsAndANewReaderStartsFresh) {
    engine::HeadphoneRing ring;
    std::vector<float> burst(2 * 512, 7.0f);
    for (int i = 0; i < 100; ++i)
        ring.Write(burst.data(), 512);
    EXPECT_EQ(ring.Dropped(), 100u * 512 - engine::HeadphoneRing::kFrames);
    ring.Attach(192);
    EXPECT_EQ(ring.Dropped(), 0u);
    std::fill(burst.begin(), burst.end(), 1.0f);
    ring.Write(burst.data(), 512);
    ring.Write(burst.data(), 512); // a cushion and a burst: the reader starts
    std::vector<float> got(2 * 256, -1.0f);
    ring.Read(got.data(), 256, kRate);
    EXPECT_EQ(Peak(got), 1.0f) << "the new frames, none of the stale ones";
    EXPECT_EQ(*std::min_element(got.begin(), got.end()), 1.0f);
}

// The test server with a second null sink for the headphones (loaded and unloaded here).
class CueServer : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::getenv("SPINX_PULSE_DIR");
        ASSERT_NE(dir_, nullptr) << "run through ctest: the engine_pulse fixture starts the server";
        ASSERT_EQ(std::system((std::string(SPINX_PULSE_SCRIPT) + " start " + dir_).c_str()), 0);
        phonesModule_ = Output("pactl load-module module-null-sink sink_name=spinx_phones");
        ASSERT_FALSE(phonesModule_.empty()) << "no second sink";
        ASSERT_EQ(std::system("pactl set-default-sink spinx_null"), 0);
    }
    void TearDown() override {
        if (dir_) std::system((std::string(SPINX_PULSE_SCRIPT) + " stop " + dir_).c_str());
    }
    bool UnloadPhones() {
        return std::system(("pactl unload-module " + phonesModule_).c_str()) == 0;
    }
    static std::string Raw(const std::string& name) { return ScratchDir() + "/" + name + ".raw"; }

    const char* dir_ = nullptr;
    std::string phonesModule_;
};

// A tone on a cued deck at volume 0 is heard on the headphones' sink and nothing on the master's.
TEST_F(CueServer, CuedDeckIsHeardOnTheHeadphonesSinkOnly) {
    Aspinx engine(OutputKind::Default);
    ASSERT_TRUE(engine.WaitForOutput(5000));
    QString why;
    ASSERT_TRUE(engine.SetHeadphoneOutput("spinx_phones", &why)) << why.toStdString();
    EXPECT_EQ(engine.HeadphoneOutput(), "spinx_phones");
    engine.LoadSound(0, QString::fromStdString(CueTone()));
    ASSERT_TRUE(engine.WaitIdle(10000));
    engine.SetVolume(0, 0);
    engine.SetCue(0, true);
    SinkRecording master(Raw("cue_master"));
    SinkRecording phones(Raw("cue_phones"), "spinx_phones");
    engine.PlaySound(0);
    PumpEvents(engine, 2000); // a new null sink holds its first stream a second or so
    const std::vector<int32_t>& heard = phones.Stop();
    const std::vector<int32_t>& audience = master.Stop();
    EXPECT_GT(RecordedPeak(heard), 0.4f) << "the cue on the headphones, at its own level";
    ASSERT_FALSE(audience.empty()) << "the master's sink was recorded";
    EXPECT_EQ(RecordedPeak(audience), 0.0f) << "the cue leaked onto the master";
    EXPECT_GT(engine.HeadphoneLatencyMs(), 0.0) << "the headphones' latency is measured";
}

// The headphones' sink goes away while the master plays: the master has no gap over 10 ms, the
// UI is told, and no headphones are in use any more (nor did they move onto the master's sink).
TEST_F(CueServer, LosingTheHeadphonesLeavesTheMasterPlaying) {
    Aspinx engine(OutputKind::Default);
    ASSERT_TRUE(engine.WaitForOutput(5000));
    QString lost, why;
    QObject::connect(&engine, &Aspinx::HeadphoneOutputFailed,
                     [&](const QString& device, const QString& reason) {
                         lost = device;
                         why = reason;
                     });
    ASSERT_TRUE(engine.SetHeadphoneOutput("spinx_phones"));
    engine.LoadSound(0, QString::fromStdString(CueTone()));
    engine.LoadSound(1, QString::fromStdString(ToneMp3("cue_master_long", 20.0, 660.0)));
    ASSERT_TRUE(engine.WaitIdle(10000));
    engine.SetVolume(0, 0);
    engine.SetCue(0, true);
    engine.SetVolume(1, 50);
    engine.PlaySound(0);
    engine.PlaySound(1);
    PumpEvents(engine, 1000); // the server starts both streams

    SinkRecording master(Raw("lost_master"));
    PumpEvents(engine, 500);
    ASSERT_TRUE(UnloadPhones());
    QElapsedTimer clock;
    clock.start();
    while (lost.isEmpty() && clock.elapsed() < 3000)
        PumpEvents(engine, 20);
    PumpEvents(engine, 500);
    const std::vector<int32_t> frames = master.Stop();
    const double gap = master.LongestSilenceMs();
    EXPECT_EQ(lost, "spinx_phones") << "the UI was not told";
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(engine.HeadphoneOutput(), "");
    EXPECT_EQ(engine.ActiveOutput(), OutputKind::Default);
    EXPECT_GE(gap, 0) << "the master was heard";
    if (kTimed) {
        EXPECT_LE(gap, 10.0) << "the master stalled";
    }
    // Deck 1 at volume 50 peaks at 0.5 x FaderGain(50) = 0.35; the cue at 0.5 would show.
    EXPECT_LT(RecordedPeak(frames), 0.45f) << "the headphones moved onto the master's sink";
    EXPECT_EQ(engine.GetPlayerStatus(1), PlayerStatus::Playing);
}
