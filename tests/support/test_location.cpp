// Where files live and how they are written there: the folder rule, the music folder, symlink
// write-through, the kept playlist and the shared command line.
#include "support/CommandLine.h"
#include "support/DataLocation.h"
#include "support/FileIo.h"
#include "support/KeptPlaylist.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_INI.h"
#include "support/TestFiles.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>

namespace spinx::test {
namespace {

using ::testing::ElementsAre;
namespace fs = std::filesystem;

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
  public:
    ScopedEnv(std::initializer_list<std::pair<const char*, std::string>> vars) {
        for (const auto& [name, value] : vars) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            ::setenv(name, value.c_str(), 1);
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, old] : saved_)
            old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name);
    }

  private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// Guards the choice between the program folder and the XDG folders, their defaults, and that
// relative XDG values are ignored.
TEST(DataLocation, FolderRule) {
    const UserEnvironment env{"/home/dj/", "/cfg", "/data/", ""};
    EXPECT_EQ(ChooseDataFolders("/opt/spinx", true, env).data, "/opt/spinx");
    EXPECT_EQ(ChooseDataFolders("/opt/spinx", true, env).settings, "/opt/spinx");
    EXPECT_EQ(ChooseDataFolders("/usr/bin", false, env).settings, "/cfg/spinx");
    EXPECT_EQ(ChooseDataFolders("/usr/bin", false, env).data, "/data/spinx");
    const UserEnvironment bare{"/home/dj", "", "rel/data", ""};
    EXPECT_EQ(ChooseDataFolders("/usr/bin", false, bare).settings, "/home/dj/.config/spinx");
    EXPECT_EQ(ChooseDataFolders("/usr/bin", false, bare).data, "/home/dj/.local/share/spinx");
}

// Guards the live rule: an installed layout (share/spinx beside bin) uses the XDG folders even
// for root, and so does, for a plain user, a program folder they may not write; the folders are
// created and the settings file is written there. A folder that cannot be made says why.
TEST(DataLocation, InstalledOrUnwritableProgramFolderUsesXdgFolders) {
    TempFolder program;
    TempFolder home;
    const ScopedEnv env{
        {"HOME", home.path()}, {"XDG_CONFIG_HOME", home / "cfg"}, {"XDG_DATA_HOME", ""}};
    fs::create_directories(program / "bin");
    fs::create_directories(program / "share/spinx");
    SetProgramFolder(program / "bin");
    EXPECT_EQ(SettingsFolder(), home / "cfg/spinx");
    EXPECT_TRUE(IsFolder(home / ".local/share/spinx"));
    fs::remove_all(program / "share");
    EXPECT_EQ(DataFolder(), program / "bin");

    ::chmod(program.path().c_str(), 0755);
    ::chmod((program / "bin").c_str(), 0755);
    ::chmod(home.path().c_str(), 0777);
    fs::remove_all(home / "cfg");
    fs::remove_all(home / ".local");
    const bool ok = AsUnprivileged([&] {
        std::string error;
        return !WriteFileAtomically(program / "bin/new/x.eq", "", &error) &&
               error.ends_with("Permission denied") &&
               INIFileName() == home / "cfg/spinx/" + ProgramName() + ".ini" &&
               DataFolder() == home / ".local/share/spinx" && WriteINI("", "MP3 Path", "/m") &&
               ReadINI("", "MP3 Path", "") == "/m";
    });
    SetProgramFolder("");
    EXPECT_TRUE(ok);
}

// Guards the music folder: user-dirs.dirs wins (with $HOME expanded), then the environment,
// then home; dialogs start in a remembered folder only when it exists here.
TEST(DataLocation, MusicFolderAndDialogStart) {
    const UserEnvironment env{"/home/dj", "", "", "/env/music"};
    EXPECT_EQ(MusicFolderFrom("# comment\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n", env), "/home/dj/Musik");
    EXPECT_EQ(MusicFolderFrom("XDG_MUSIC_DIR=\"/srv/songs/\"\n", env), "/srv/songs");
    EXPECT_EQ(MusicFolderFrom("XDG_VIDEOS_DIR=\"$HOME/V\"\n", env), "/env/music");
    EXPECT_EQ(MusicFolderFrom("", {"/home/dj", "", "", ""}), "/home/dj");

    TempFolder home;
    fs::create_directories(home / "cfg");
    fs::create_directories(home / "Tunes");
    WriteFile(home / "cfg/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n");
    const ScopedEnv vars{{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / "cfg"}};
    EXPECT_EQ(DialogStartFolder("C:\\My Music"), home / "Tunes");
    EXPECT_EQ(DialogStartFolder(home / "cfg"), home / "cfg");
    fs::remove(home / "Tunes");
    EXPECT_EQ(DialogStartFolder(""), home.path());
}

// Guards that writing through a chain of links (relative and absolute, even to a file not yet
// there) replaces the final target atomically and leaves the links in place.
TEST(FileIo, WritesThroughSymlinks) {
    TempFolder dir;
    fs::create_directories(dir / "real");
    WriteFile(dir / "real/spinx.ini", "old");
    fs::create_symlink("real/spinx.ini", dir / "hop");
    fs::create_symlink(dir / "hop", dir / "spinx.ini");
    ASSERT_TRUE(WriteFileAtomically(dir / "spinx.ini", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "spinx.ini"));
    EXPECT_TRUE(fs::is_symlink(dir / "hop"));
    EXPECT_EQ(ReadFile(dir / "real/spinx.ini"), "new");
    EXPECT_EQ(fs::directory_iterator(dir / "real")->path().filename(), "spinx.ini");

    fs::create_symlink("real/later.eq", dir / "dangling.eq");
    ASSERT_TRUE(WriteFileAtomically(dir / "dangling.eq", "1"));
    EXPECT_EQ(ReadFile(dir / "real/later.eq"), "1");

    fs::create_symlink("loop", dir / "loop");
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir / "loop", "x", &error));
    EXPECT_THAT(error, ::testing::HasSubstr("symbolic links"));
}

// Guards the kept playlist: paths come back in order, a name with a line break and lines that
// are no full path are passed over; a missing file, a foreign M3U and binary junk give nothing.
TEST(KeptPlaylist, RoundTripAndDamage) {
    TempFolder dir;
    const std::string file = dir / "playlist.m3u";
    EXPECT_TRUE(LoadKeptPlaylist(file).empty());
    ASSERT_TRUE(
        SaveKeptPlaylist(file, {"/m/b song.mp3", "/m/a\nb.mp3", "/m/a.m3u", "/m/b song.mp3"}));
    EXPECT_THAT(LoadKeptPlaylist(file), ElementsAre("/m/b song.mp3", "/m/a.m3u", "/m/b song.mp3"));
    WriteFile(file, "#EXTM3U\r\n/m/a.mp3\r\nrel/b.mp3\n#EXTINF:1,x\n\n/m/c.mp3");
    EXPECT_THAT(LoadKeptPlaylist(file), ElementsAre("/m/a.mp3", "/m/c.mp3"));
    for (const std::string& damaged :
         {std::string("/m/a.mp3\n"), std::string("#EXTM3U\n/m/\0x.mp3\n", 18),
          std::string("\x89PNG\r\n")}) {
        WriteFile(file, damaged);
        EXPECT_TRUE(LoadKeptPlaylist(file).empty()) << damaged;
    }
}

// Guards the shared command line: help and version win, Qt's options and their values are
// passed over in both spellings, "--" ends options, and unknown or incomplete options fail.
TEST(CommandLine, OptionsAndOperands) {
    const CommandLineRules qt = QtApplicationRules();
    using Action = CommandLine::Action;
    EXPECT_EQ(ParseCommandLine({"a.mp3", "--help", "--bogus"}, qt).action, Action::Help);
    EXPECT_EQ(ParseCommandLine({"-V"}, {}).action, Action::Version);
    const CommandLine run = ParseCommandLine(
        {"-platform", "xcb", "a.mp3", "--style=fusion", "-reverse", "-", "--", "--help", "-x.m3u"},
        qt);
    EXPECT_EQ(run.action, Action::Run);
    EXPECT_THAT(run.operands, ElementsAre("a.mp3", "-", "--help", "-x.m3u"));
    const CommandLine unknown = ParseCommandLine({"a.mp3", "--fullscreen"}, qt);
    EXPECT_EQ(unknown.action, Action::Error);
    EXPECT_EQ(unknown.error, "unknown option '--fullscreen'");
    EXPECT_EQ(ParseCommandLine({"-platform"}, qt).action, Action::Error);
    EXPECT_EQ(ParseCommandLine({"-platform", "xcb"}, {}).action, Action::Error);
}

} // namespace
} // namespace spinx::test
