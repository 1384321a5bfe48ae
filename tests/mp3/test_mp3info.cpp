#include "support/TestFiles.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using Block = std::map<std::string, std::string>;

namespace {

struct ToolRun {
    int status = -1;
    std::vector<Block> blocks; // one per file, by the File= line
    std::string err;
};

// Runs the real spinx-mp3info over `files` and splits its output into per-file blocks.
ToolRun RunMp3Info(const std::vector<std::string>& files) {
    spinx::test::TempFolder scratch;
    std::string command = std::string(SPINX_BIN_DIR) + "/spinx-mp3info";
    for (const auto& f : files)
        command += " '" + f + "'";
    command += " 2>" + (scratch / "err");
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        out.append(buf, n);
    run.status = WEXITSTATUS(::pclose(pipe));
    run.err = spinx::test::ReadFile(scratch / "err");
    std::size_t start = 0;
    while (start < out.size()) {
        const auto end = out.find('\n', start);
        const std::string line = out.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        const auto eq = line.find('=');
        if (line.starts_with("File=")) run.blocks.emplace_back();
        if (!run.blocks.empty()) run.blocks.back()[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return run;
}

std::vector<std::string> TestdataFiles() {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(SPINX_TESTDATA)) {
        if (e.is_regular_file() && e.path().extension() == ".mp3") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

// Guards the tool and the identifier on every real file: no crash, the same block for a file
// whatever came before it, and the identifier made of the four numbers.
TEST(Mp3Info, EveryTestFile) {
    const auto files = TestdataFiles();
    ASSERT_GT(files.size(), 50u);
    auto reversed = files;
    std::reverse(reversed.begin(), reversed.end());
    const ToolRun forward = RunMp3Info(files);
    const ToolRun backward = RunMp3Info(reversed);
    EXPECT_EQ(forward.status, 0) << forward.err;
    ASSERT_EQ(forward.blocks.size(), files.size());
    ASSERT_EQ(backward.blocks.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Block& b = forward.blocks[i];
        EXPECT_EQ(b.at("File"), files[i]);
        EXPECT_EQ(b, backward.blocks[files.size() - 1 - i]) << files[i];
        EXPECT_EQ(b.at("MP3ID"), b.at("Bitrate") + b.at("Duration") + b.at("SampleRate") +
                                     std::to_string(fs::file_size(files[i])))
            << files[i];
        EXPECT_EQ(b.size(), 22u) << files[i];
    }
}

// Guards decoded values that the test files are documented to exercise.
TEST(Mp3Info, DocumentedFiles) {
    const std::vector<std::pair<std::string, Block>> expected = {
        {"mm_l3_sin1k0db.mp3", {{"Bitrate", "128"}, {"Version", "1"}, {"Layer", "3"}}},
        {"mm_l3_he_44khz.mp3", {{"Duration", "41"}, {"SampleRate", "44100"}}},
        {"mm_meandr_crc320.mp3",
         {{"Bitrate", "320"}, {"SampleRate", "48000"}, {"Protection", "yes"}, {"Duration", "10"}}},
        {"mm_l1_fl5.mp3", {{"Layer", "1"}, {"Bitrate", "448"}, {"SampleRate", "48000"}}},
        {"mm_l2_fl13.mp3", {{"Layer", "2"}, {"Bitrate", "32"}, {"SampleRate", "32000"}}},
        {"mm_l2_free_format.mp3", {{"Layer", "2"}, {"Bitrate", "0"}}},
        {"mm_m2l3_compl24.mp3", {{"Version", "2"}, {"MP3ID", "00081408"}}},
        {"mm_cut_192.mp3", {{"MP3ID", "000192"}}},
        {"mu_empty_0.mp3", {{"MP3ID", "0000"}}},
        {"mm_l3_id3v1_320.mp3", {{"HasTag", "True"}, {"Genre", "12"}}},
        {"tl_ape_id3v1.mp3", {{"Title", "EX\xC3\x90\\x07"}}},
        {"tt_id3v1_latin1_256.mp3", {{"Artist", "Bj\xC3\xB6rk"}}},
        {"mu_trailing_id32_id31.mp3", {{"HasTag", "False"}}},
        {"generated/g_255.mp3", {{"MP3ID", "000255"}}},
        {"generated/g_sync_at_5000.mp3", {{"Bitrate", "128"}}},
        {"generated/g_sync_at_5001.mp3", {{"Bitrate", "0"}, {"MP3ID", "00086083"}}},
        {"generated/g_genre_blank.mp3", {{"HasTag", "True"}, {"Version", "25"}, {"Layer", "0"}}},
        {"generated/g_cbr128_44k_v1nul.mp3",
         {{"Title", "NUL padded title"}, {"Track", "\\x05"}, {"Genre", "17"}}},
        {"generated/g_cbr128_44k_v1blank.mp3",
         {{"Title", "Blank padded title"}, {"Track", ""}, {"Genre", "13"}}},
        {"generated/g_bitrate_index15.mp3", {{"Bitrate", "0"}, {"Duration", "0"}}},
        {"generated/g_samplerate_index3.mp3", {{"Bitrate", "128"}, {"SampleRate", "0"}}},
        {"generated/g_crc_copyright_emph.mp3",
         {{"Protection", "yes"}, {"Copyright", "yes"}, {"Original", "no"}, {"Emphasis", "50/15"}}},
        {"generated/g_cbr128_44k_30s.mp3", {{"Duration", "30"}}},
    };
    std::vector<std::string> files;
    for (const auto& [name, values] : expected)
        files.push_back(SPINX_TESTDATA "/" + name);
    const ToolRun run = RunMp3Info(files);
    ASSERT_EQ(run.blocks.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        for (const auto& [key, value] : expected[i].second) {
            EXPECT_EQ(run.blocks[i].at(key), value) << expected[i].first << " " << key;
        }
    }
}

// Guards the missing-file contract: its File= line and an empty MP3ID=, a message on stderr,
// the other files still printed, exit status 1.
TEST(Mp3Info, MissingFile) {
    const std::string good = SPINX_TESTDATA "/mm_l3_compl.mp3";
    const ToolRun run = RunMp3Info({good, "/no/such/song.mp3", good});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.blocks.size(), 3u);
    EXPECT_EQ(run.blocks[1], (Block{{"File", "/no/such/song.mp3"}, {"MP3ID", ""}}));
    EXPECT_EQ(run.blocks[2].at("MP3ID"), "6454800041495");
    EXPECT_NE(run.err.find("/no/such/song.mp3"), std::string::npos);
}
