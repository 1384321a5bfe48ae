// Recording the master mix: the file holds exactly what the output got, it always opens, and
// the output's thread never waits for the writer.
#include "EngineTestUtil.h"
#include "engine/record/MixTap.h"
#include "engine/record/Recorder.h"
#include "support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace spinx::test {
namespace {

// Every frame libsndfile decodes from the file, to its end or to the first damage.
std::vector<float> ReadSound(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> sound, chunk(2 * 4096);
    sf_count_t got;
    while ((got = sf_readf_float(file, chunk.data(), 4096)) > 0)
        sound.insert(sound.end(), chunk.begin(), chunk.begin() + 2 * got);
    sf_close(file);
    return sound;
}

// Samples of `recorded` that differ from `rendered` by more than the format keeps (nothing for
// float WAV, the last of 24 bits for FLAC).
size_t Mismatches(const std::vector<float>& recorded, const std::vector<float>& rendered,
                  const std::string& ext) {
    const float step = ext == "wav" ? 0.0f : 1.0f / (1 << 23);
    size_t mismatches = 0;
    for (size_t i = 0; i < recorded.size() && i < rendered.size(); ++i)
        mismatches += std::fabs(recorded[i] - rendered[i]) > step;
    return mismatches;
}

// Frames in a sound file as libsndfile reads its header, or -1 when it does not open.
int64_t FileFrames(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return -1;
    sf_close(file);
    return info.frames;
}

// Seconds in a sound file as sox, a stricter reader of WAV headers, reads it.
double SoxSeconds(const std::string& path) {
    FILE* pipe = popen(("soxi -D '" + path + "' 2>/dev/null").c_str(), "r");
    if (!pipe) return -1;
    double seconds = -1;
    if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1;
    pclose(pipe);
    return seconds;
}

// A recording made during an offline render of two decks and a master volume holds the
// rendered frames: bit for bit as WAV, to the last of 24 bits as FLAC; what was rendered before
// the start or after the stop is not in it.
TEST(Recording, FileEqualsRenderedFrames) {
    for (const char* ext : {"wav", "flac"}) {
        OfflineEngine t;
        ASSERT_TRUE(t.Load(0, ToneMp3("rec_a", 4.0, 440)));
        ASSERT_TRUE(t.Load(1, ToneMp3("rec_b", 4.0, 660)));
        t.engine.SetMasterVolume(80);
        t.engine.PlaySound(0);
        t.engine.PlaySound(1);
        t.Render(1000);
        // A longer file of the name is replaced, not written into.
        const std::string path = WriteFile(std::string("mix.") + ext, std::string(2 << 20, 'x'));
        QString reason;
        ASSERT_TRUE(t.engine.StartRecording(QString::fromStdString(path), &reason)) << ext;
        // More than the tap's ring holds, in the odd chunks an output may ask for.
        const std::vector<float> rendered = t.Render(3 * 44100 + 17, 333);
        ASSERT_TRUE(t.engine.StopRecording(&reason)) << reason.toStdString();
        t.Render(1000);
        EXPECT_EQ(t.engine.RecordingDroppedFrames(), 0u);

        const std::vector<float> recorded = ReadSound(path);
        ASSERT_EQ(recorded.size(), rendered.size()) << ext;
        EXPECT_EQ(Mismatches(recorded, rendered, ext), 0u) << ext;
    }
}

// Names that cannot become a recording are refused with a reason, at once (a named pipe
// without a reader must not hang the caller in its open), and nothing records.
TEST(Recording, RefusesUnusableNames) {
    OfflineEngine t;
    const std::string fifo = ScratchDir() + "/pipe.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    for (const std::string& path : {ScratchDir() + "/missing/folder/mix.wav",
                                    ScratchDir() + "/mix.mp3", ScratchDir(), fifo}) {
        QString reason;
        EXPECT_FALSE(t.engine.StartRecording(QString::fromStdString(path), &reason)) << path;
        EXPECT_FALSE(reason.isEmpty()) << path;
        EXPECT_FALSE(t.engine.IsRecording());
        if (path == fifo) {
            EXPECT_EQ(reason, "The recording cannot be created: It is a named pipe, not a "
                              "regular file.");
        }
    }
}

// A disk that fills while recording: the recorder says so at once (not at the stop) while it
// goes on taking the mix, the stop gives the system's reason in one sentence, and the file
// keeps, and opens with, the mix written before the failure. A WAV's header counts it; a FLAC
// cut by the failure reads as of unknown length (as after a crash) but decodes to its end.
TEST(Recording, WriteErrorIsReportedAtOnceAndKeepsTheFile) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, ToneMp3("rec_full", 6.0, 440)));
    t.engine.PlaySound(0);
    for (const char* ext : {"wav", "flac"}) {
        const std::string path = ScratchDir() + "/full." + ext;
        QString reason;
        int64_t kept = 0;
        std::vector<float> rendered;
        {
            const FileSizeLimit disk(96 * 1024);
            ASSERT_TRUE(t.engine.StartRecording(QString::fromStdString(path), &reason)) << ext;
            // Past the limit, and past the ring: an offline render waits for room, so this
            // returns only if the failed writer goes on draining.
            rendered = t.Render(4 * 44100);
            EXPECT_TRUE(Within(10000, [&] { return t.engine.RecordingFailed(); })) << ext;
            EXPECT_TRUE(t.engine.IsRecording()) << ext;
            kept = t.engine.RecordedFrames();
            EXPECT_GT(kept, 0) << ext;
            EXPECT_LT(kept, 2 * 44100) << ext;
            EXPECT_FALSE(t.engine.StopRecording(&reason)) << ext;
        }
        EXPECT_EQ(reason.toStdString(), std::string("The recording could not be written "
                                                    "completely: ") +
                                            std::strerror(EFBIG) + ".");
        EXPECT_FALSE(t.engine.RecordingFailed()) << "stopping clears the failure";

        const std::vector<float> sound = ReadSound(path);
        const int64_t frames = static_cast<int64_t>(sound.size() / 2);
        // What the failed write got onto the disk is kept too; FLAC loses its last block.
        EXPECT_GE(frames, std::string(ext) == "wav" ? kept : kept / 2) << ext;
        EXPECT_LT(frames, kept + 4096) << ext;
        if (std::string(ext) == "wav") {
            EXPECT_EQ(FileFrames(path), frames);
        }
        EXPECT_EQ(Mismatches(sound, rendered, ext), 0u) << ext;
    }
}

// A WAV's header keeps up with its data while it records, so a strict reader (sox) finds the
// sound that a crash would leave, to within the last quarter second, and not "no data".
TEST(Recording, WavHeaderKeepsUpWhileRecording) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, ToneMp3("rec_live", 4.0, 440)));
    t.engine.PlaySound(0);
    const std::string path = ScratchDir() + "/live.wav";
    ASSERT_TRUE(t.engine.StartRecording(QString::fromStdString(path)));
    for (const double seconds : {1.1, 2.6}) {
        const int total = static_cast<int>(seconds * 44100);
        t.Render(total - static_cast<int>(t.engine.RecordedFrames()));
        ASSERT_TRUE(Within(10000, [&] { return t.engine.RecordedFrames() == total; }));
        const double read = SoxSeconds(path);
        EXPECT_LE(read, seconds) << "sox read " << read;
        EXPECT_GE(read, seconds - 0.26) << "sox read " << read;
        EXPECT_GE(FileFrames(path), total - 44100 / 4);
    }
    ASSERT_TRUE(t.engine.StopRecording());
    EXPECT_EQ(FileFrames(path), static_cast<int64_t>(2.6 * 44100));
    EXPECT_NEAR(SoxSeconds(path), 2.6, 0.001);
}

// A full ring drops and counts what does not fit instead of waiting; frames that fitted come
// out whole and in order, and a disarmed tap takes nothing.
TEST(Recording, FullRingDropsAndCounts) {
    constexpr int kChunk = 1000, kFits = engine::MixTap::kFrames / kChunk;
    std::vector<float> chunk(2 * kChunk);
    engine::MixTap tap;
    tap.Arm();
    for (int c = 0; c < kFits + 2; ++c) {
        for (int i = 0; i < 2 * kChunk; ++i)
            chunk[i] = static_cast<float>(c * 2 * kChunk + i);
        tap.Write(chunk.data(), kChunk, /*offline=*/false);
    }
    EXPECT_EQ(tap.Dropped(), 2u * kChunk);
    tap.Disarm();
    tap.Write(chunk.data(), kChunk, false);
    std::vector<float> out(2 * engine::MixTap::kFrames);
    ASSERT_EQ(tap.Read(out.data(), engine::MixTap::kFrames), kFits * kChunk);
    for (int i = 0; i < 2 * kFits * kChunk; ++i)
        ASSERT_EQ(out[i], static_cast<float>(i));
}

} // namespace
} // namespace spinx::test
