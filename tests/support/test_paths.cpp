#include "support/Convert.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_StringFunctions.h"
#include "support/TestFiles.h"

#include <filesystem>

using namespace spinx;
using test::TempFolder;

// Guards the conversions: halves round to even, and values beyond the range saturate rather
// than wrap.
TEST(Convert, RoundingHalfToEven) {
    EXPECT_EQ(RoundToInt16(-1.5), -2);
    EXPECT_EQ(RoundToInt16(2.4999), 2);
    EXPECT_EQ(RoundToInt16(-40000.0), -32768);
    EXPECT_EQ(RoundToInt32(12344.5), 12344);
    EXPECT_EQ(RoundToInt32(1e12), 2147483647);
}

// Guards list splitting as the multi-file dialog and playlists use it: trimming, the NUL
// separator, index 0 left free, appending after the last element.
TEST(StringFunctions, TokensAndLists) {
    std::string text = "  a,b";
    EXPECT_EQ(GetToken(text, ","), "a");
    EXPECT_EQ(text, "b");
    text = " whole text ";
    EXPECT_EQ(GetToken(text, ","), "whole text");
    EXPECT_EQ(text, "");

    std::vector<std::string> list;
    const std::string nul(1, '\0');
    SplitList("/music" + nul + "a.mp3" + nul + "b c.mp3", list, nul);
    EXPECT_EQ(list, (std::vector<std::string>{"", "/music", "a.mp3", "b c.mp3"}));
    SplitList("x;y", list, ";", true);
    EXPECT_EQ(list.size(), 6u);
    EXPECT_EQ(list[4], "x");
    SplitList("p,q", list, "");
    EXPECT_EQ(list, (std::vector<std::string>{"", "p", "q"}));
}

// Guards the name parts at both separators, the whole-path extension, the dot cases, and the
// drive, share and root prefixes.
TEST(Diskinfo, NameParts) {
    EXPECT_EQ(GetFileName("C:\\Music/a.mp3"), "a.mp3");
    EXPECT_EQ(GetBaseName("/m/song.live.mp3"), "song.live");
    EXPECT_EQ(GetBaseName("/m/noext") + GetBaseName("/m/.hidden"), "noext");
    EXPECT_EQ(GetExtension("C:\\my.dir\\file"), "dir\\file");
    EXPECT_EQ(StripTrailingSlash("\\"), "");
    EXPECT_EQ(StripTrailingSlash("/m/\\/  "), "/m");
    // Drive, share and root recognition decide whether a folder's root is reachable.
    EXPECT_TRUE(HasDriveLetter("C:\\x"));
    EXPECT_FALSE(HasDriveLetter("/C:"));
    EXPECT_TRUE(IsUNCPath("\\\\server\\share"));
    EXPECT_FALSE(IsUNCPath("\\server"));
    EXPECT_EQ(GetRoot("\\\\server\\share\\dir\\a.mp3"), "\\\\server\\share");
    EXPECT_EQ(GetRoot("C:\\Music"), "C:");
    EXPECT_EQ(GetRoot("/home/x"), "/");
    EXPECT_EQ(GetRoot("rel\\x"), "rel");
    EXPECT_TRUE(RootExists("/no/such/folder"));
    EXPECT_FALSE(RootExists("Q:\\Music"));
}

// Guards existence checks on files, folders (also written with "\"), and "*"/"?" patterns in
// which "[" is an ordinary character; and the folder part: files give their folder, folders
// give themselves with or without the trailing separator, drive roots the bare drive, and our
// own root stays "/".
TEST(Diskinfo, ExistenceAndGetPath) {
    TempFolder dir;
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_directory(dir / "empty");
    test::WriteFile(dir / "sub/Song [live].mp3", "x");
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(FileExists(dir / "sub"));
    EXPECT_TRUE(FileExists(dir.path() + "\\sub\\Song [live].mp3"));
    EXPECT_TRUE(FileExists(dir / "sub/Song [l?ve]*"));
    EXPECT_FALSE(FileExists(dir / "sub/*.m3u"));
    EXPECT_FALSE(FileExists(dir / "empty/*")); // "." and ".." are not matches
    EXPECT_EQ(ShortPathName(dir / "sub"), dir / "sub");
    EXPECT_EQ(ShortPathName(dir / "none"), "");

    EXPECT_EQ(GetPath(dir / "sub/a.mp3"), dir / "sub");
    EXPECT_EQ(GetPath(dir / "sub"), dir / "sub");
    EXPECT_EQ(GetPath(dir.path() + "\\sub\\\\"), dir.path() + "\\sub");
    EXPECT_EQ(GetPath(dir / "sub/*.mp3"), dir / "sub");
    EXPECT_EQ(GetPath("C:\\Music\\a.mp3"), "C:\\Music");
    EXPECT_EQ(GetPath("C:\\a.mp3"), "C:");
    EXPECT_EQ(GetPath("a.mp3"), "");
    EXPECT_EQ(GetPath("/a.mp3"), "/");
}
