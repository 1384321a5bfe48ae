// The song table as start-up prepares it: created, upgraded, left alone, repaired, or given up
// on with a clear message when the file cannot serve.
#include "LibraryTestSupport.h"

#include "library/Recordset.h"
#include "library/SongTable.h"
#include "support/ProgramFolder.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace spinx::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using SongTableTest = LibraryTest;

const std::vector<std::string> kFullDesign = {
    "ID INTEGER",       "Filename TEXT(255)", "Path TEXT",     "MP3ID TEXT(255)",
    "EQ TEXT(10)",      "Volume INTEGER",     "Pitch INTEGER", "Title TEXT(255)",
    "Artist TEXT(255)", "Start INTEGER",      "End INTEGER"};

// A first start in an empty program folder creates the file, the full table and its index.
TEST_F(SongTableTest, FirstStartCreatesTableAndIndex) {
    EXPECT_EQ(SongDatabasePath(), Folder() + "/spinx.mdb");
    ASSERT_TRUE(PrepareSongDatabase(SongDatabasePath()));
    EXPECT_TRUE(SongDbIsOpen());
    EXPECT_TRUE(std::filesystem::exists(DbPath()));
    EXPECT_EQ(Columns(), kFullDesign);
    EXPECT_TRUE(IndexExists(SongDb, "mp3s", "MP3ID"));
    EXPECT_THAT(IndexFields(SongDb, "mp3s", "MP3ID"), ElementsAre("MP3ID"));
    EXPECT_TRUE(msgBox_.Texts().empty());
}

// A table from an older version gains the missing fields at the end, its rows keep their
// values and the new fields start empty; a second start then changes nothing at all.
TEST_F(SongTableTest, UpgradesOlderTableAndSecondStartChangesNothing) {
    {
        OtherProgram old(DbPath());
        old.Exec(
            "CREATE TABLE mp3s (ID INTEGER, Filename TEXT(255), Path TEXT, "
            "MP3ID TEXT(255), EQ TEXT(10), Volume INTEGER, Pitch INTEGER);"
            "INSERT INTO mp3s (Filename, MP3ID, Volume, Pitch) VALUES ('a', '111', 5, 900);"
            "INSERT INTO mp3s (Filename, MP3ID, Volume, Pitch) VALUES ('b', '222', -7, 1200);");
    }
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_EQ(Columns(), kFullDesign);
    EXPECT_THAT(Values("Filename"), ElementsAre("a", "b"));
    EXPECT_THAT(Values("Volume"), ElementsAre("5", "-7"));
    EXPECT_THAT(Values("Pitch"), ElementsAre("900", "1200"));
    for (const char* added : {"Title", "Artist", "Start", "End"}) {
        EXPECT_THAT(Values(added), ElementsAre("NULL", "NULL")) << added;
    }
    EXPECT_TRUE(IndexExists(SongDb, "mp3s", "MP3ID"));

    auto schema = [this] {
        return OtherProgram(DbPath()).Column("SELECT type || name || sql FROM sqlite_master");
    };
    const auto before = schema();
    CloseSongDatabase();
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_EQ(schema(), before);
    EXPECT_THAT(Values("Filename"), ElementsAre("a", "b"));
    EXPECT_TRUE(msgBox_.Texts().empty());
}

// Start-up resets a volume above 100 to 0 and leaves every other value, Null included.
TEST_F(SongTableTest, StartRepairsVolumesAboveRange) {
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    CloseSongDatabase();
    OtherProgram(DbPath()).Exec("INSERT INTO mp3s (Volume) VALUES (250), (100), (101), (-150), "
                                "(NULL)");
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_THAT(Values("Volume"), ElementsAre("0", "100", "0", "-150", "NULL"));
}

// A zero-length file holds nothing that could be lost, so it is taken as a new database.
TEST_F(SongTableTest, ZeroLengthFileBecomesFreshDatabase) {
    WriteFile(DbPath(), "");
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_EQ(Columns(), kFullDesign);
    EXPECT_TRUE(msgBox_.Texts().empty());
}

// A file that is no database, or a folder in its place, is named with the reason, left
// untouched, and the program runs on without song memory; table users are refused, not
// crashed.
TEST_F(SongTableTest, UnusableFileMeansNoSongMemory) {
    const std::string text = "These are my notes, not a database.\n";
    WriteFile(DbPath(), text);
    EXPECT_FALSE(PrepareSongDatabase(DbPath()));
    EXPECT_FALSE(SongDbIsOpen());
    ASSERT_EQ(msgBox_.Texts().size(), 1u);
    EXPECT_THAT(msgBox_.Texts()[0], HasSubstr("\"" + DbPath() + "\""));
    EXPECT_THAT(msgBox_.Texts()[0], HasSubstr("it is not a database file"));
    EXPECT_EQ(ReadFile(DbPath()), text);
    EXPECT_THROW(Recordset(SongDb, "mp3s"), DbError);

    const std::string folderInstead = Folder() + "/folder.mdb";
    std::filesystem::create_directory(folderInstead);
    EXPECT_FALSE(PrepareSongDatabase(folderInstead));
    ASSERT_EQ(msgBox_.Texts().size(), 2u);
    EXPECT_THAT(msgBox_.Texts()[1], HasSubstr("\"" + folderInstead + "\""));
    EXPECT_THAT(msgBox_.Texts()[1], HasSubstr("it cannot be opened (Is a directory)"));
}

// Runs the start-up in a child process without root's power over file permissions (the suite
// may run as root), and prints the message the user would see.
void PrepareAsPlainUser(const std::string& path) {
    if (::geteuid() == 0) {
        constexpr uid_t kNobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            std::_Exit(2);
        }
    }
    std::vector<std::string> texts;
    SetMsgBoxHandler([&](const std::string& text, MsgButtons, const std::string&) {
        texts.push_back(text);
        return MsgResult::OK;
    });
    const bool prepared = PrepareSongDatabase(path);
    for (const auto& text : texts)
        std::fprintf(stderr, "%s\n", text.c_str());
    std::_Exit(!prepared && !SongDbIsOpen() && texts.size() == 1 ? 0 : 1);
}

// A database the user may not read or may not write is named with the reason and the program
// runs on without song memory; the file stays as it was.
TEST_F(SongTableTest, UnreadableOrReadOnlyFileMeansNoSongMemory) {
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    CloseSongDatabase();
    ::chmod(Folder().c_str(), 0755);
    const std::string content = ReadFile(DbPath());

    ::chmod(DbPath().c_str(), 0444);
    EXPECT_EXIT(PrepareAsPlainUser(DbPath()), ::testing::ExitedWithCode(0),
                "spinx.mdb\" cannot be used: it is read-only");
    ::chmod(DbPath().c_str(), 0000);
    EXPECT_EXIT(PrepareAsPlainUser(DbPath()), ::testing::ExitedWithCode(0),
                "spinx.mdb\" cannot be used: it cannot be opened \\(Permission denied\\)");
    ::chmod(DbPath().c_str(), 0644);
    EXPECT_EQ(ReadFile(DbPath()), content);
}

} // namespace
} // namespace spinx::test
