// Recording the master mix: the file holds exactly what the output got, it always opens, and
// the output's thread never waits for the writer.
#include "EngineTestUtil.h"
#include "engine/record/MixTap.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>

namespace spinx::test {
namespace {

std::vector<float> ReadSoundFile(const std::string& path, SF_INFO* info) {
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
    EXPECT_TRUE(f) << sf_strerror(nullptr);
    if (!f) return {};
    std::vector<float> frames(static_cast<size_t>(info->frames) * info->channels);
    sf_readf_float(f, frames.data(), info->frames);
    sf_close(f);
    return frames;
}

// A recording made during an offline render of two decks and a master volume holds the
// rendered frames: bit for bit as WAV, to the last of 24 bits as FLAC; what was rendered before
// the start or after the stop is not in it.
TEST(Recording, FileEqualsRenderedFrames) {
    for (const char* ext : {"wav", "flac"}) {
        OfflineEngine t;
        ASSERT_TRUE(t.Load(0, ToneMp3("rec_a", 4.0, 440)));
        ASSERT_TRUE(t.Load(1, ToneMp3("rec_b", 4.0, 660)));
        t.engine.SetMasterVolume(0, 80);
        t.engine.PlaySound(0);
        t.engine.PlaySound(1);
        t.Render(1000);
        const std::string path = ScratchDir() + "/mix." + ext;
        QString reason;
        ASSERT_TRUE(t.engine.StartRecording(QString::fromStdString(path), &reason)) << ext;
        // More than the tap's ring holds, in the odd chunks an output may ask for.
        const std::vector<float> rendered = t.Render(3 * 44100 + 17, 333);
        ASSERT_TRUE(t.engine.StopRecording(&reason)) << reason.toStdString();
        t.Render(1000);
        EXPECT_EQ(t.engine.RecordingDroppedFrames(), 0u);

        SF_INFO info{};
        const std::vector<float> recorded = ReadSoundFile(path, &info);
        EXPECT_EQ(info.samplerate, t.engine.SampleRate());
        ASSERT_EQ(recorded.size(), rendered.size()) << ext;
        const float step = std::string(ext) == "wav" ? 0.0f : 1.0f / (1 << 23);
        size_t mismatches = 0;
        for (size_t i = 0; i < rendered.size(); ++i)
            mismatches += std::fabs(recorded[i] - rendered[i]) > step;
        EXPECT_EQ(mismatches, 0u) << ext;
    }
}

// Names that cannot become a recording are refused with a reason, and nothing records.
TEST(Recording, RefusesUnusableNames) {
    OfflineEngine t;
    for (const std::string& path :
         {ScratchDir() + "/missing/folder/mix.wav", ScratchDir() + "/mix.mp3", ScratchDir()}) {
        QString reason;
        EXPECT_FALSE(t.engine.StartRecording(QString::fromStdString(path), &reason)) << path;
        EXPECT_FALSE(reason.isEmpty()) << path;
        EXPECT_FALSE(t.engine.IsRecording());
    }
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
