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
    std::map<std::string, Block> blocks; // by the File= line
    std::vector<std::string> order;
    std::string err;
};

// Runs the real spinx-mp3info over `files` and splits its output into per-file blocks.
ToolRun RunMp3Info(const std::vector<std::string>& files) {
    spinx::test::TempFolder scratch;
    std::string command = std::string(SPINX_BIN_DIR) + "/spinx-mp3info";
    for (const auto& f : files)
        command += " '" + f + "'";
    FILE* pipe = ::popen((command + " 2>" + (scratch / "err")).c_str(), "r");
    ToolRun run;
    char line[4096];
    Block* block = nullptr;
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (text.ends_with('\n')) text.pop_back();
        const auto eq = text.find('=');
        if (text.starts_with("File=")) {
            run.order.push_back(text.substr(5));
            block = &run.blocks[run.order.back()];
        }
        if (block && eq != std::string::npos) (*block)[text.substr(0, eq)] = text.substr(eq + 1);
    }
    run.status = WEXITSTATUS(::pclose(pipe));
    run.err = spinx::test::ReadFile(scratch / "err");
    return run;
}

// Values the test files are documented to exercise, as "Key=Value;Key=Value".
const std::map<std::string, std::string> kDocumented = {
    {"mm_l3_sin1k0db.mp3", "Bitrate=128;Version=1;Layer=3"},
    {"mm_l3_he_44khz.mp3", "Duration=41;SampleRate=44100"},
    {"mm_meandr_crc320.mp3", "Bitrate=320;SampleRate=48000;Protection=yes;Duration=10"},
    {"mm_l1_fl5.mp3", "Layer=1;Bitrate=448;SampleRate=48000"},
    {"mm_l2_fl13.mp3", "Layer=2;Bitrate=32;SampleRate=32000"},
    {"mm_m2l3_compl24.mp3", "Version=2;MP3ID=00081408"},
    {"tl_ape_id3v1.mp3", "Title=EX\xC3\x90\\x07"},
    {"tt_id3v1_latin1_256.mp3", "Artist=Bj\xC3\xB6rk"},
};

} // namespace

// Guards the tool and the identifier on every real file: no crash, a file's block the same
// whatever file came before it, the identifier made of the four numbers, and the values the
// files are documented to exercise. A missing file among them gets its File= line, an empty
// MP3ID=, a message on stderr, and exit status 1.
TEST(Mp3Info, EveryTestFile) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(SPINX_TESTDATA)) {
        if (e.path().extension() == ".mp3") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 50u);
    const std::string missing = "/no/such/song.mp3";
    files.insert(files.begin() + 1, missing);
    const ToolRun forward = RunMp3Info(files);
    const ToolRun backward = RunMp3Info({files.rbegin(), files.rend()});
    EXPECT_EQ(forward.status, 1);
    EXPECT_NE(forward.err.find(missing), std::string::npos);
    EXPECT_EQ(forward.order, files);
    EXPECT_EQ(forward.blocks, backward.blocks);
    EXPECT_EQ(forward.blocks.at(missing), (Block{{"File", missing}, {"MP3ID", ""}}));
    for (const auto& [file, b] : forward.blocks) {
        if (file == missing) continue;
        EXPECT_EQ(b.size(), 22u) << file;
        EXPECT_EQ(b.at("MP3ID"), b.at("Bitrate") + b.at("Duration") + b.at("SampleRate") +
                                     std::to_string(fs::file_size(file)))
            << file;
    }
    for (const auto& [name, values] : kDocumented) {
        const Block& b = forward.blocks.at(SPINX_TESTDATA "/" + name);
        std::string pairs = values + ";";
        for (std::size_t at; (at = pairs.find(';')) != std::string::npos; pairs.erase(0, at + 1)) {
            const auto eq = pairs.find('=');
            EXPECT_EQ(b.at(pairs.substr(0, eq)), pairs.substr(eq + 1, at - eq - 1)) << name;
        }
    }
}
