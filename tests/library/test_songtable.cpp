// The song table as start-up prepares it: created, upgraded, left alone, repaired, or given up
// on with a clear message when the file cannot serve.
#include "LibraryTestSupport.h"

#include "library/SongRows.h"

#include <sys/stat.h>

namespace spinx::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using SongTableTest = LibraryTest;

const std::vector<std::string> kFullDesign = {
    "ID INTEGER",       "Filename TEXT(255)", "Path TEXT",        "MP3ID TEXT(255)",
    "EQ TEXT(10)",      "Volume INTEGER",     "Pitch INTEGER",    "Title TEXT(255)",
    "Artist TEXT(255)", "Start INTEGER",      "End INTEGER",      "Loudness INTEGER",
    "BPM INTEGER",      "FirstBeat INTEGER",  "Downbeat INTEGER", "Key TEXT(3)",
    "MixIn INTEGER",    "MixOut INTEGER",     "Analysed INTEGER", "Peak INTEGER"};

// A first start in an empty program folder creates the file, the full table and its index; a
// zero-length file holds nothing that could be lost, so it is taken as a new database too.
TEST_F(SongTableTest, FirstStartCreatesTableAndIndex) {
    EXPECT_EQ(SongDatabasePath(), DbPath());
    for (const bool emptyFile : {false, true}) {
        CloseSongDatabase();
        std::filesystem::remove(DbPath());
        if (emptyFile) WriteFile(DbPath(), "");
        ASSERT_TRUE(PrepareSongDatabase(SongDatabasePath())) << emptyFile;
        EXPECT_TRUE(SongDbIsOpen());
        EXPECT_EQ(Columns(), kFullDesign);
        EXPECT_THAT(IndexFields(SongDb, "mp3s", "MP3ID"), ElementsAre("MP3ID"));
    }
    EXPECT_TRUE(texts_.empty());
}

// A table from an older version gains the missing fields at the end, its rows keep their
// values and the new fields start empty; a second start changes nothing; volumes above 100
// are reset to 0 and every other value, Null included, stays.
TEST_F(SongTableTest, UpgradeSecondStartAndVolumeRepair) {
    OtherProgram(DbPath()).Exec(
        "CREATE TABLE mp3s (ID INTEGER, Filename TEXT(255), Path TEXT, MP3ID TEXT(255), "
        "EQ TEXT(10), Volume INTEGER, Pitch INTEGER);"
        "INSERT INTO mp3s (Filename, Volume, Pitch) VALUES ('a', 250, 900), ('b', 100, 1200), "
        "('c', 101, 1), ('d', -150, 2), ('e', NULL, 3);");
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_EQ(Columns(), kFullDesign);
    EXPECT_THAT(Values("Filename"), ElementsAre("a", "b", "c", "d", "e"));
    EXPECT_THAT(Values("Pitch"), ElementsAre("900", "1200", "1", "2", "3"));
    EXPECT_THAT(Values("Volume"), ElementsAre("0", "100", "0", "-150", "NULL"));
    for (const char* added : {"Title", "Artist", "Start", "End", "Loudness"}) {
        EXPECT_THAT(Values(added), ElementsAre("NULL", "NULL", "NULL", "NULL", "NULL"));
    }

    const std::string schema = "SELECT type || name || sql FROM sqlite_master";
    const auto before = OtherProgram(DbPath()).Column(schema);
    CloseSongDatabase();
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_EQ(OtherProgram(DbPath()).Column(schema), before);
    EXPECT_TRUE(texts_.empty());
}

// A measured loudness survives the trip through its column to a hundredth of a LU; an empty
// column means not measured, not 0 LUFS.
TEST_F(SongTableTest, LoudnessColumnValues) {
    EXPECT_EQ(LoudnessFromDb(LoudnessToDb(-14.236)), -14.24);
    EXPECT_FALSE(LoudnessFromDb(DbValue()));
}

// A file that is no database, or a folder in its place, is named with the reason and left
// untouched; the program runs on without song memory and table users are refused.
TEST_F(SongTableTest, UnusableFileMeansNoSongMemory) {
    const std::string notes = "These are my notes, not a database.\n";
    WriteFile(DbPath(), notes);
    EXPECT_FALSE(PrepareSongDatabase(DbPath()));
    EXPECT_FALSE(SongDbIsOpen());
    EXPECT_THROW(FindSong("any"), DbError);
    EXPECT_EQ(ReadFile(DbPath()), notes);

    std::filesystem::create_directory(folder_ + "/folder.mdb");
    EXPECT_FALSE(PrepareSongDatabase(folder_ + "/folder.mdb"));
    ASSERT_EQ(texts_.size(), 2u);
    EXPECT_THAT(texts_[0], HasSubstr("\"" + DbPath() +
                                     "\" cannot be used: it is not a database "
                                     "file"));
    EXPECT_THAT(texts_[1], HasSubstr("folder.mdb\" cannot be used: it cannot be opened (Is a "
                                     "directory)"));
}

// A database the user may not write, or not even read, or not create in its folder, is named
// with the real reason, the program runs on without song memory, and the file stays as it was.
TEST_F(SongTableTest, ReadOnlyOrUnreadableFileMeansNoSongMemory) {
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    CloseSongDatabase();
    ::chmod(folder_.c_str(), 0755);
    const std::string content = ReadFile(DbPath());
    // Start-up as a plain user (the suite may run as root) is refused, names why, opens nothing.
    const auto refused = [&](const std::string& reason) {
        return AsUnprivileged([&] {
            texts_.clear();
            return !PrepareSongDatabase(DbPath()) && !SongDbIsOpen() && texts_.size() == 1 &&
                   texts_[0].find("spinx.mdb\" cannot be used: " + reason) != std::string::npos;
        });
    };
    ::chmod(DbPath().c_str(), 0444);
    EXPECT_TRUE(refused("it is read-only"));
    ::chmod(DbPath().c_str(), 0000);
    EXPECT_TRUE(refused("it cannot be opened (Permission denied)"));
    ::chmod(DbPath().c_str(), 0644);
    EXPECT_EQ(ReadFile(DbPath()), content);
    std::filesystem::remove(DbPath());
    EXPECT_TRUE(refused("it cannot be created (Permission denied)"));
}

// A song's row is found by its identifier; a save adds the row once and then writes into it,
// changing only the columns given; an update of a song without a row writes nothing.
TEST_F(SongTableTest, RowsByIdentifier) {
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_FALSE(FindSong("id-1"));
    EXPECT_FALSE(UpdateSong("id-1", {{songcol::Volume, 5}}));
    SaveSong("id-1", {{songcol::Volume, 20}, {songcol::Title, "Morning"}});
    SaveSong("id-1", {{songcol::Pitch, 1100}});
    SaveSong("id-2", {{songcol::Volume, -3}});
    EXPECT_TRUE(UpdateSong("id-1", {{songcol::End, 9000}}));
    const std::optional<SongColumns> row = FindSong("id-1");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->at("volume"), DbValue(20)) << "columns by name in any case";
    EXPECT_EQ(row->at(songcol::Title), DbValue("Morning"));
    EXPECT_EQ(row->at(songcol::Pitch), DbValue(1100));
    EXPECT_EQ(row->at(songcol::End), DbValue(9000));
    EXPECT_TRUE(row->at(songcol::EQ).IsNull());
    Statement count(SongDb, "SELECT COUNT(*) FROM mp3s");
    ASSERT_TRUE(count.Step());
    EXPECT_EQ(count.Column(0).AsLong(0), 2);
}

} // namespace
} // namespace spinx::test
