// The design steps: what they create, how they match names, the field-list and backup rules,
// and waiting for another program that holds the database.
#include "LibraryTestSupport.h"

#include "library/SongTable.h"

#include <filesystem>

namespace spinx::test {
namespace {

using ::testing::ElementsAre;

class DesignTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        OpenDB(db_, DbPath());
        ASSERT_TRUE(db_.IsOpen());
    }
    void TearDown() override {
        db_.Close();
        LibraryTest::TearDown();
    }
    Database db_;
};

// A new table starts with "ID" (never twice), and each type code gets its stored type.
TEST_F(DesignTest, FieldsGetTheirTypesAfterId) {
    EnsureField(db_, "t", "Short", dbText);
    EnsureField(db_, "t", "Long255", dbText, 255);
    EnsureField(db_, "t", "Notes", dbMemo);
    EnsureField(db_, "t", "Count", dbLong);
    EXPECT_THAT(Columns("t"), ElementsAre("ID INTEGER", "Short TEXT(50)", "Long255 TEXT(255)",
                                          "Notes TEXT", "Count INTEGER"));
    EnsureField(db_, "u", "ID", dbLong);
    EXPECT_THAT(Columns("u"), ElementsAre("ID INTEGER"));
    EXPECT_THROW(EnsureField(db_, "t", "Odd", 99), DbError);
}

// Table and field names match whatever their case, so asking again in another case adds
// nothing; a name that merely contains another does not match.
TEST_F(DesignTest, TableAndFieldNamesIgnoreCase) {
    EnsureField(db_, "mp3s", "Filename", dbText, 255);
    EXPECT_TRUE(TableExists(db_, "MP3S"));
    EXPECT_TRUE(FieldExists(db_, "Mp3S", "FILENAME"));
    EXPECT_FALSE(FieldExists(db_, "mp3s", "File"));
    EXPECT_FALSE(TableExists(db_, "mp3"));
    EXPECT_FALSE(FieldExists(db_, "nosuch", "Filename"));
    EnsureField(db_, "MP3S", "filename", dbText, 255);
    EXPECT_THAT(Columns(), ElementsAre("ID INTEGER", "Filename TEXT(255)"));
}

// Index names match exactly: "mp3id" is not "MP3ID", so both can live on one table, and the
// same name may be used on two tables although SQLite's own index names are file-wide.
TEST_F(DesignTest, IndexNamesMatchExactly) {
    EnsureField(db_, "mp3s", "MP3ID", dbText, 255);
    EnsureField(db_, "other", "MP3ID", dbText, 255);
    EnsureIndex(db_, "mp3s", "MP3ID", "MP3ID");
    EXPECT_TRUE(IndexExists(db_, "mp3s", "MP3ID"));
    EXPECT_TRUE(IndexExists(db_, "MP3S", "MP3ID"));
    EXPECT_FALSE(IndexExists(db_, "mp3s", "mp3id"));
    EXPECT_FALSE(IndexExists(db_, "other", "MP3ID"));

    EnsureIndex(db_, "mp3s", "mp3id", "MP3ID");
    EnsureIndex(db_, "other", "MP3ID", "MP3ID");
    EnsureIndex(db_, "mp3s", "MP3ID", "MP3ID");
    EXPECT_TRUE(IndexExists(db_, "mp3s", "mp3id"));
    EXPECT_TRUE(IndexExists(db_, "other", "MP3ID"));
    OtherProgram reader(DbPath());
    EXPECT_THAT(reader.Column("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
                              "tbl_name = 'mp3s'"),
                ElementsAre("2"));

    // An index some other tool made under a plain name is known by that name.
    reader.Exec("CREATE INDEX Plain_Name ON mp3s (MP3ID)");
    EXPECT_TRUE(IndexExists(db_, "mp3s", "Plain_Name"));
    EXPECT_FALSE(IndexExists(db_, "mp3s", "plain_name"));
    EXPECT_TRUE(msgBox_.Texts().empty());
}

// A field list names the index's fields in order; a trailing "," or an unknown field or table
// is reported and creates nothing; the index is not unique.
TEST_F(DesignTest, FieldListRules) {
    EnsureField(db_, "t", "A", dbLong);
    EnsureField(db_, "t", "B", dbLong);
    EnsureIndex(db_, "t", "BA", "B,A");
    EXPECT_THAT(IndexFields(db_, "t", "BA"), ElementsAre("B", "A"));

    EnsureIndex(db_, "t", "Trailing", "A,");
    EnsureIndex(db_, "t", "Spaced", "A, B");
    EnsureIndex(db_, "nosuch", "X", "A");
    EXPECT_FALSE(IndexExists(db_, "t", "Trailing"));
    EXPECT_FALSE(IndexExists(db_, "t", "Spaced"));
    EXPECT_THAT(msgBox_.Texts(),
                ElementsAre(kMsgNoFieldForIndex, kMsgNoFieldForIndex, kMsgNoTableForIndex));

    db_.Execute("INSERT INTO t (A, B) VALUES (1, 2), (1, 2)");
    EXPECT_THAT(Values("A", "t"), ElementsAre("1", "1"));
}

// A backup file beside the database is deleted silently at open; one that cannot be deleted
// is reported by its path and the database stays closed.
TEST_F(DesignTest, BackupFileRules) {
    db_.Close();
    EXPECT_EQ(BackupPath(DbPath()), Folder() + "/spinx.bak");
    EXPECT_EQ(BackupPath("songs.v2.mdb"), "songs.v2.bak");

    WriteFile(Folder() + "/spinx.bak", "old");
    OpenDB(db_, DbPath());
    EXPECT_TRUE(db_.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/spinx.bak"));
    EXPECT_TRUE(msgBox_.Texts().empty());

    // A folder with something in it cannot be deleted, whoever runs the test.
    std::filesystem::create_directories(Folder() + "/spinx.bak/keep");
    OpenDB(db_, DbPath());
    EXPECT_FALSE(db_.IsOpen());
    EXPECT_THAT(msgBox_.Texts(),
                ElementsAre("Error deleting backup file " + Folder() + "/spinx.bak"));
    EXPECT_FALSE(PrepareSongDatabase(DbPath()));
    EXPECT_FALSE(SongDbIsOpen());
    EXPECT_EQ(msgBox_.Texts().size(), 2u);

    // A database that is itself named ".bak" is not deleted as its own backup.
    const std::string named = Folder() + "/songs.bak";
    OpenDB(db_, named);
    db_.Close();
    OpenDB(db_, named);
    EXPECT_TRUE(db_.IsOpen());
}

// While another program holds the database, start-up asks Retry/Cancel with the fixed text;
// Retry tries again and Cancel ends the program before anything else runs.
TEST_F(DesignTest, LockedDatabaseRetryThenCancel) {
    db_.Close();
    OtherProgram other(DbPath());
    other.HoldExclusive();
    msgBox_.Answer(MsgResult::Retry);
    msgBox_.Answer(MsgResult::Cancel);
    EXPECT_THROW(PrepareSongDatabase(DbPath()), ProgramEndRequested);
    EXPECT_EQ(endProgramCalls_, 1);
    EXPECT_THAT(msgBox_.Texts(), ElementsAre(kMsgDesignLocked, kMsgDesignLocked));
    EXPECT_THAT(msgBox_.Buttons(), ElementsAre(MsgButtons::RetryCancel, MsgButtons::RetryCancel));
    other.Release();
    EXPECT_THAT(Columns(), ElementsAre());
}

// Retry after the other program lets go carries on where start-up stopped, also when the
// other program only blocks the writing of a needed upgrade.
TEST_F(DesignTest, LockedDatabaseRetryAfterRelease) {
    db_.Close();
    OtherProgram other(DbPath());
    other.HoldExclusive();
    msgBox_.BeforeNextPrompt([&] { other.Release(); });
    msgBox_.Answer(MsgResult::Retry);
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_EQ(msgBox_.Texts().size(), 1u);
    CloseSongDatabase();

    OtherProgram writer(DbPath());
    writer.Exec("ALTER TABLE mp3s DROP COLUMN \"End\"");
    writer.HoldWriteLock();
    msgBox_.BeforeNextPrompt([&] { writer.Exec("COMMIT"); });
    msgBox_.Answer(MsgResult::Retry);
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_EQ(msgBox_.Texts().size(), 2u);
    EXPECT_EQ(Columns().back(), "End INTEGER");
    EXPECT_EQ(endProgramCalls_, 0);
}

} // namespace
} // namespace spinx::test
