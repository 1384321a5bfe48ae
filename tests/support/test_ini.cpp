#include "support/Mod_INI.h"
#include "support/TestFiles.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

using namespace spinx;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

namespace {
// The file after WriteINI of `key`=`value` in `section` over `before` (LF in, CR LF out).
std::string Rewritten(const std::string& before, const std::string& key, const std::string& value,
                      const std::string& section = "Settings") {
    return RewriteIni(SplitIniLines(before), key, value, section);
}

std::string Find(const std::string& text, const std::string& key,
                 const std::string& section = "Settings") {
    return FindIniValue(SplitIniLines(text), key, section).value_or("<absent>");
}

std::size_t FilesIn(const std::string& folder) {
    const std::filesystem::directory_iterator it(folder);
    return static_cast<std::size_t>(std::distance(begin(it), end(it)));
}
} // namespace

// Guards the default file's place and that a first write makes exactly the two lines.
TEST(SettingsFile, DefaultFileAndFirstWrite) {
    TempFolder dir;
    EXPECT_EQ(INIFileName(), dir / "support_tests.ini");
    EXPECT_EQ(ReadINI("", "MP3 Path", "C:\\My Music", "Settings"), "C:\\My Music");
    EXPECT_TRUE(WriteINI("", "MP3 Path", "/music", "Settings"));
    EXPECT_EQ(ReadFile(INIFileName()), "[Settings]\r\nMP3 Path=/music\r\n");
    EXPECT_EQ(ReadINI("", "MP3 Path", "", "Settings"), "/music");
}

// Guards key and section matching: keys without case but untrimmed, sections with case, the
// last header character taken as "]", a value holding "=", and the first match winning.
TEST(SettingsFile, Matching) {
    const std::string file =
        "top=0\n[settings]\nMP3 Path=lower\n[Settings]\nmp3 path=D:\\Songs\n"
        "MP3 Path = spaced\nEq=a=b\nEq=second\n[Other}\nx=1\r\n[Settings] \ny=2\n[\n";
    EXPECT_EQ(Find(file, "MP3 Path"), "D:\\Songs");
    EXPECT_EQ(Find(file, "Eq"), "a=b");
    EXPECT_EQ(Find(file, "MP3 Path "), " spaced");
    EXPECT_EQ(Find(file, "x", "Other"), "1");
    EXPECT_EQ(Find(file, "y"), "<absent>");
    EXPECT_EQ(Find(file, "y", "Settings]"), "2");
    EXPECT_EQ(Find(file, "top", ""), "0");
    EXPECT_EQ(Find(file, "MP3 PATH", ""), "lower");
}

// Guards that comments are never read and survive a rewrite in place, a key starting with
// "rem" included.
TEST(SettingsFile, Comments) {
    const std::string file = "[Settings]\nREM MP3 Path=r\n'MP3 Path=q\nremark=1\nrEm=2\n";
    EXPECT_EQ(Find(file, "REM MP3 Path"), "<absent>");
    EXPECT_EQ(Find(file, "remark"), "<absent>");
    EXPECT_EQ(Rewritten(file, "MP3 Path", "v"),
              "[Settings]\r\nREM MP3 Path=r\r\n'MP3 Path=q\r\nremark=1\r\nrEm=2\r\nMP3 Path=v\r\n");
}

// Guards where a rewrite puts the key: in place (every match), after the section's trailing
// blank lines before the next header, at the end, or under a new header when the section's
// case differs.
TEST(SettingsFile, InsertionPlace) {
    EXPECT_EQ(
        Rewritten("[Settings]\nmp3 path=a\nx=1\nMP3 PATH=b\n[O]\nMP3 Path=c\n", "MP3 Path", "v"),
        "[Settings]\r\nMP3 Path=v\r\nx=1\r\nMP3 Path=v\r\n[O]\r\nMP3 Path=c\r\n");
    EXPECT_EQ(Rewritten("a\n[Settings]\nx=1\n\n\n[O]\ny=2\n", "K", "v"),
              "a\r\n[Settings]\r\nx=1\r\n\r\n\r\nK=v\r\n[O]\r\ny=2\r\n");
    EXPECT_EQ(Rewritten("[O]\ny=2\n[Settings]\nx=1", "K", "v"),
              "[O]\r\ny=2\r\n[Settings]\r\nx=1\r\nK=v\r\n");
    EXPECT_EQ(Rewritten("[settings]\nK=old\n", "K", "v"),
              "[settings]\r\nK=old\r\n[Settings]\r\nK=v\r\n");
    EXPECT_EQ(Rewritten("[Settings]\nMP3 Path = x\n", "MP3 Path", "v"),
              "[Settings]\r\nMP3 Path = x\r\nMP3 Path=v\r\n");
    // Without a section the key joins the lines before the first header.
    EXPECT_EQ(Rewritten("a=1\n[S]\nb=2\n", "K", "v", ""), "a=1\r\nK=v\r\n[S]\r\nb=2\r\n");
}

// Guards against crashes and loss on odd files: binary junk with NULs and lone CRs, a very long
// line, and a folder where the file should be.
TEST(SettingsFile, OddContents) {
    TempFolder dir;
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 131 + 7) % 256);
    const std::string longLine(2'000'000, 'x');
    WriteFile(dir / "odd.ini", junk + "\n" + longLine + "\n[Settings]\r\nK=old\r\n");
    EXPECT_EQ(ReadINI(dir / "odd.ini", "K", "d", "Settings"), "old");
    ASSERT_TRUE(WriteINI(dir / "odd.ini", "K", "new", "Settings"));
    const std::string after = ReadFile(dir / "odd.ini");
    EXPECT_NE(after.find(longLine + "\r\n[Settings]\r\nK=new\r\n"), std::string::npos);
    EXPECT_EQ(after.substr(0, 100), junk.substr(0, 100));
    std::filesystem::create_directory(dir / "folder.ini");
    EXPECT_EQ(ReadINI(dir / "folder.ini", "K", "d"), "d");
    std::string error;
    EXPECT_FALSE(WriteINI(dir / "folder.ini", "K", "v", "", &error));
    EXPECT_NE(error.find("folder.ini"), std::string::npos);
}

// Guards the atomic rewrite: a write that fails half-way (disk full, simulated by a file-size
// limit) reports an error, leaves the old file intact and no temporary file behind; a good
// rewrite keeps the file's permissions.
TEST(SettingsFile, AtomicRewrite) {
    TempFolder dir;
    std::string big = "[Settings]\r\n";
    for (int i = 0; i < 200; ++i)
        big += "key" + std::to_string(i) + "=some value\r\n";
    const std::string path = WriteFile(dir / "s.ini", big);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    const bool ok = WriteINI(path, "K", "v", "Settings", &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("s.ini"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(path), big);
    EXPECT_EQ(FilesIn(dir.path()), 1u);

    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(WriteINI(path, "K", "v", "Settings"));
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Guards that a file we may not replace, or may not read, is reported and left untouched: a
// read-only folder, a write-protected file, a file we cannot read.
TEST(SettingsFile, ProtectedFilesStayIntact) {
    TempFolder dir;
    std::filesystem::create_directory(dir / "ro");
    const std::vector<std::pair<std::string, int>> files = {
        {dir / "ro/s.ini", 0666}, {dir / "readonly.ini", 0444}, {dir / "writeonly.ini", 0222}};
    for (const auto& [path, mode] : files)
        ::chmod(WriteFile(path, "K=old\r\n").c_str(), mode);
    ::chmod(dir.path().c_str(), 0777);
    ::chmod((dir / "ro").c_str(), 0555);
    EXPECT_TRUE(test::AsUnprivileged([&] {
        bool refused = ReadINI(dir / "writeonly.ini", "K", "d") == "d";
        for (const auto& [path, mode] : files) {
            std::string error;
            refused = refused && !WriteINI(path, "K", "new", "", &error) && !error.empty();
        }
        return refused;
    }));
    for (const auto& [path, mode] : files)
        EXPECT_EQ(ReadFile(path), "K=old\r\n") << path;
    EXPECT_EQ(FilesIn(dir / "ro"), 1u);
}
