#include "mp3/Mod_MP3HeaderTag.h"
#include "mp3/SongTitle.h"
#include "support/TestFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace spinx;
using test::Id3v1Tag;
using test::TempFolder;

namespace {

// A file of `length` bytes: `head` at the start, `tail` at the end, zeros (a hole) between.
std::string MakeFile(const std::string& path, const std::string& head, std::int64_t length,
                     const std::string& tail = "") {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
    EXPECT_EQ(::ftruncate(fd, length), 0);
    const auto at = static_cast<off_t>(length - static_cast<std::int64_t>(tail.size()));
    EXPECT_EQ(::pwrite(fd, tail.data(), tail.size(), at), static_cast<ssize_t>(tail.size()));
    ::close(fd);
    return path;
}

const std::string kHeader128 = "\xFF\xFB\x90\x64"; // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz

} // namespace

// Guards every table of the header decoder, including the values that decode to 0, and the
// bit-string arithmetic under them.
TEST(Mp3, HeaderTables) {
    EXPECT_EQ(BinToDec("0111111111111111"), 32767);
    EXPECT_EQ(BinToDec("1000000000000000"), 0); // past 16 bits
    struct Case {
        const char* bytes;
        int version, layer, bitrate, rate;
        const char *mode, *emphasis, *flags; // padding private copyright original protection
    };
    const Case cases[] = {
        {"\xFF\xFB\x90\x64", 1, 3, 128, 44100, "joint stereo", "no", "nnnyn"},
        {"\xFF\xFA\xE7\xCE", 1, 3, 320, 48000, "single channel", "reserved", "yyyyy"},
        {"\xFF\xFF\xE8\x81", 1, 1, 448, 32000, "dual channel", "50/15", "nnnnn"},
        {"\xFF\xFD\xD4\x00", 1, 2, 320, 48000, "stereo", "no", "nnnnn"},
        {"\xFF\xF3\x90\x67", 2, 3, 0, 0, "joint stereo", "CCITT J 17", "nnnyn"},
        {"\xFF\xEB\x90\x64", 0, 3, 0, 0, "joint stereo", "no", "nnnyn"},
        {"\xFF\xFB\xF0\x44", 1, 3, 0, 44100, "joint stereo", "no", "nnnyn"}, // bitrate index 15
        {"\xFF\xFB\x9C\x44", 1, 3, 128, 0, "joint stereo", "no", "nnnyn"},   // rate index 3
    };
    TempFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode + std::to_string(c.bitrate));
        Mp3Info info;
        DecodeHeader(MakeFile(dir / "h.mp3", std::string(c.bytes, 4), 1000), true, true, info);
        EXPECT_EQ(info.Version, c.version);
        EXPECT_EQ(info.Layer, c.layer);
        EXPECT_EQ(info.Bitrate, c.bitrate);
        EXPECT_EQ(info.SampleRate, c.rate);
        EXPECT_EQ(info.Mode, c.mode);
        EXPECT_EQ(info.Emphasis, c.emphasis);
        const std::string* flags[] = {&info.Padding, &info.Private, &info.Copyright, &info.Original,
                                      &info.Protection};
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(*flags[i], c.flags[i] == 'y' ? "yes" : "no") << i;
    }
}

// Guards the identifiers that stored song tables are keyed on: the two worked values, the sync
// search limits, and the 32-bit duration that drops to 0 from 256 MiB on.
TEST(Mp3, Identifiers) {
    TempFolder dir;
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "a.mp3", kHeader128, 3443712)), "128215441003443712");
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "b.mp3", "\xFF\xF3\x90\x64", 1000000)), "0001000000");
    const std::string id3 = "ID3\x03";
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "c.mp3", id3 + std::string(4996, 0) + kHeader128, 1000000)),
              "0001000000"); // sync at byte 5001 is not searched
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "d.mp3", id3 + std::string(4995, 0) + kHeader128, 1000000)),
              "1286244100" + std::string("1000000")); // sync at byte 5000 is found
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "e.mp3", "\xFF\xF3xx\xFF\xFA\x90\x64", 8000)),
              "128044100" + std::string("8000")); // FF F3 is no sync, FF FA is
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "f.mp3", kHeader128, 268435455)), "1281677744100268435455");
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "g.mp3", kHeader128, 268435456)), "128044100268435456");
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "h.mp3", kHeader128, 314572800, "yz")), "128044100314572800");
    // Whatever the size, only the first bytes and the last 256 are read.
    const Mp3FileBytes read = ReadMp3FileBytes(dir / "h.mp3");
    EXPECT_EQ(read.head.size() + read.tail.size(), 5003u + 256u);
    EXPECT_TRUE(read.head.starts_with(kHeader128) && read.tail.ends_with("yz"));
    // Same numbers, different music and tags: the same song as far as settings go.
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "i.mp3", kHeader128 + "abc", 3443712, Id3v1Tag("Other"))),
              "128215441003443712");
}

// Guards the tag fields: blank padding trimmed, NUL padding cut (title, artist, album only),
// Latin-1 turned into UTF-8, "tAg" found like "TAG", and the first "tag" winning.
TEST(Mp3, TagFields) {
    TempFolder dir;
    Mp3Info info;
    DecodeHeader(MakeFile(dir / "n.mp3", kHeader128, 5000, Id3v1Tag("Nul title", 0, 5, 17)), true,
                 true, info);
    EXPECT_TRUE(info.HasTag);
    EXPECT_EQ(info.Title + "|" + info.Artist + "|" + info.Album + "|" + info.Year,
              "Nul title|Artist|Album|1999");
    EXPECT_EQ(info.Comment, "Comment" + std::string(22, '\0'));
    EXPECT_EQ(info.Track + "|" + info.Genre, "\x05|17");
    DecodeHeader(
        MakeFile(dir / "b.mp3", kHeader128, 5000, Id3v1Tag("Bj\xF6rk", ' ', ' ', 0, "tAg")), true,
        true, info);
    EXPECT_EQ(info.Title + "|" + info.Comment + "|" + info.Track + "|" + info.Genre,
              "Bj\xC3\xB6rk|Comment||0");
    EXPECT_EQ(info.Bitrate, 128);
    // A "tag" earlier in the last 256 bytes shifts every field.
    DecodeHeader(MakeFile(dir / "s.mp3", kHeader128, 5000, "stage" + Id3v1Tag("T")), true, true,
                 info);
    EXPECT_EQ(info.Title, "eTAGT");
    DecodeHeader(MakeFile(dir / "x.mp3", kHeader128, 5000), true, true, info);
    EXPECT_FALSE(info.HasTag);
    EXPECT_EQ(info.Title + info.Artist + info.Genre + info.Track, "");
}

// Guards the genre failure: a blank genre byte, or one past the end of the text, gives a header
// decoded as empty (identifier 000<length>) while the tag fields before it are kept.
TEST(Mp3, GenreFailure) {
    TempFolder dir;
    Mp3Info info;
    info.Genre = "previous";
    EXPECT_EQ(
        GetMP3ID(MakeFile(dir / "g.mp3", kHeader128, 5000, Id3v1Tag("Blank genre", 0, 1, ' ')),
                 info),
        "0005000");
    EXPECT_EQ(info.Title, "Blank genre");
    EXPECT_EQ(info.Genre, "previous");
    EXPECT_EQ(std::to_string(info.Version) + info.Mode + info.Protection, "25stereoyes");
    const std::string late = "TAG" + std::string(100, 'x');
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "l.mp3", kHeader128, 5000, late), info), "0005000");
    EXPECT_TRUE(info.HasTag);
}

// Guards small and odd inputs: under 256 bytes nothing is read and the previous song's tag
// stays in the shared record; empty and truncated files; folders, pipes and unreadable files
// give no identifier instead of a crash or a hang.
TEST(Mp3, ShortAndOddFiles) {
    TempFolder dir;
    GetMP3ID(MakeFile(dir / "t.mp3", kHeader128, 5000, Id3v1Tag("Previous song")));
    EXPECT_EQ(
        GetMP3ID(MakeFile(dir / "255.mp3", kHeader128, 255, Id3v1Tag("Short").substr(0, 200))),
        "000255");
    EXPECT_EQ(LastMp3Info.Title, "Previous song");
    EXPECT_EQ(LastMp3Info.Bitrate, 0);
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "256.mp3", kHeader128, 256)), "128044100256");
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "empty.mp3", "", 0)), "0000");
    EXPECT_EQ(GetMP3ID(MakeFile(dir / "five.mp3", "\xFF\xFB", 5)), "0005");
    EXPECT_EQ(GetMP3ID(dir / "missing.mp3"), "");
    EXPECT_EQ(GetMP3ID(""), "");
    std::filesystem::create_directory(dir / "folder.mp3");
    EXPECT_EQ(GetMP3ID(dir / "folder.mp3"), "");
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0644), 0);
    EXPECT_EQ(GetMP3ID(dir / "pipe.mp3"), "");
    const std::string locked = MakeFile(dir / "locked.mp3", kHeader128, 5000);
    ::chmod(locked.c_str(), 0);
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_TRUE(test::AsUnprivileged([&] { return GetMP3ID(locked).empty(); }));
}

namespace {
// An ID3v2.4 tag with UTF-8 title and artist frames, then one MPEG frame header.
std::string Id3v24(const std::string& title, const std::string& artist) {
    const auto frame = [](const char* id, const std::string& text) {
        const std::string body = '\x03' + text; // 3: UTF-8
        std::string f(id);
        f += std::string{0, 0, 0, static_cast<char>(body.size())} + std::string(2, '\0') + body;
        return f;
    };
    const std::string frames = frame("TIT2", title) + frame("TPE1", artist);
    return std::string("ID3\x04\x00\x00\x00\x00\x00", 9) + static_cast<char>(frames.size()) +
           frames + kHeader128 + std::string(400, '\0');
}
} // namespace

// Titles come from ID3v2 (2.4 in UTF-8, 2.3 in UTF-16 as lame writes it), else from ID3v1; a
// row is named "Artist - Title", the title alone, or left to the file name.
TEST(Mp3, SongTitles) {
    TempFolder folder;
    const std::string v24 = folder / "v24.mp3";
    { std::ofstream(v24, std::ios::binary) << Id3v24("Sm\xC3\xA5 t\xC3\xB6ner", "\xC3\x86ther"); }
    EXPECT_EQ(ShownSongName(ReadSongTitle(v24)), "\xC3\x86ther - Sm\xC3\xA5 t\xC3\xB6ner");
    const std::string v23 = folder / "v23.mp3";
    const std::string lame = "sox -R -n -r 44100 -c 1 '" + folder / "t.wav" +
                             "' synth 0.2 sine 440 && lame --quiet --id3v2-only --id3v2-utf16 "
                             "--tt 'Nuit \xC3\xA9toil\xC3\xA9" +
                             "e' --ta 'Zo\xC3\xAB' '" + folder / "t.wav" + "' '" + v23 + "'";
    ASSERT_EQ(std::system(lame.c_str()), 0);
    EXPECT_EQ(ShownSongName(ReadSongTitle(v23)), "Zo\xC3\xAB - Nuit \xC3\xA9toil\xC3\xA9"
                                                 "e");

    const std::string data = SPINX_TESTDATA;
    EXPECT_EQ(ShownSongName(ReadSongTitle(data + "/mu_id3v1v2_combined.mp3")),
              "Anais Mitchell - cosmic american");
    EXPECT_EQ(ShownSongName(ReadSongTitle(data + "/mm_l3_id3v2.mp3")), "test title");
    EXPECT_EQ(ReadSongTitle(data + "/mu_silence_v1.mp3").title.empty(), false) << "ID3v1 only";
    EXPECT_EQ(ShownSongName(ReadSongTitle(data + "/mm_l3_sin1k0db.mp3")), "");
    EXPECT_EQ(ShownSongName(ReadSongTitle(folder / "missing.mp3")), "");

    // What is not a song file gives no title, at once: a named pipe nobody writes (it used to
    // block for good), a device of endless zeros and a vast file of them (each used to spin).
    const std::string pipe = folder / "pipe.mp3", zero = folder / "zero.mp3",
                      vast = folder / "vast.mp3";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    { std::ofstream create(vast); }
    ASSERT_EQ(truncate(vast.c_str(), int64_t{3} << 30), 0);
    for (const std::string& path : {pipe, zero, vast})
        EXPECT_EQ(ShownSongName(ReadSongTitle(path)), "") << path;
}
