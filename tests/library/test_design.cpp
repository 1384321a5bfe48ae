// The design steps: what they create, how they match names, the field-list and backup rules,
// and waiting for another program that holds the database.
#include "LibraryTestSupport.h"

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

// A new table starts with "ID" (never twice); each type code gets its stored type; table and
// field names match whatever their case, so asking again in another case adds nothing.
TEST_F(DesignTest, FieldsTypesAndNameCase) {
    EnsureField(db_, "t", "Short", dbText);
    EnsureField(db_, "t", "Long255", dbText, 255);
    EnsureField(db_, "T", "Notes", dbMemo);
    EnsureField(db_, "t", "Count", dbLong);
    EnsureField(db_, "t", "COUNT", dbLong);
    EnsureField(db_, "u", "id", dbLong);
    EXPECT_THAT(Columns("t"), ElementsAre("ID INTEGER", "Short TEXT(50)", "Long255 TEXT(255)",
                                          "Notes TEXT", "Count INTEGER"));
    EXPECT_THAT(Columns("u"), ElementsAre("ID INTEGER"));
    EXPECT_TRUE(FieldExists(db_, "T", "notes"));
    EXPECT_FALSE(FieldExists(db_, "t", "Note"));
    EXPECT_THROW(EnsureField(db_, "t", "Odd", 99), DbError);
}

// Index names match exactly: "mp3id" is not "MP3ID", so both live on one table, and one name
// may serve two tables although SQLite's own index names are file-wide and ignore case.
TEST_F(DesignTest, IndexNamesMatchExactly) {
    EnsureField(db_, "mp3s", "MP3ID", dbText, 255);
    EnsureField(db_, "other", "MP3ID", dbText, 255);
    EnsureIndex(db_, "mp3s", "MP3ID", "MP3ID");
    EXPECT_FALSE(IndexExists(db_, "mp3s", "mp3id"));
    EXPECT_FALSE(IndexExists(db_, "other", "MP3ID"));
    EnsureIndex(db_, "MP3S", "mp3id", "MP3ID");
    EnsureIndex(db_, "other", "MP3ID", "MP3ID");
    EnsureIndex(db_, "mp3s", "MP3ID", "MP3ID");
    EXPECT_TRUE(IndexExists(db_, "mp3s", "MP3ID"));
    EXPECT_TRUE(IndexExists(db_, "mp3s", "mp3id"));
    EXPECT_TRUE(IndexExists(db_, "other", "MP3ID"));
    EXPECT_THAT(OtherProgram(DbPath()).Column("SELECT count(*) FROM sqlite_master WHERE "
                                              "type = 'index'"),
                ElementsAre("3"));
    EXPECT_TRUE(texts_.empty());
}

// A field list names the index's fields in order; a trailing "," or an unknown field or table
// is reported and creates nothing; the index is not unique.
TEST_F(DesignTest, FieldListRules) {
    EnsureField(db_, "t", "A", dbLong);
    EnsureField(db_, "t", "B", dbLong);
    EnsureIndex(db_, "t", "BA", "B,A");
    EXPECT_THAT(IndexFields(db_, "t", "BA"), ElementsAre("B", "A"));
    EnsureIndex(db_, "t", "Trailing", "A,");
    EnsureIndex(db_, "nosuch", "X", "A");
    EXPECT_FALSE(IndexExists(db_, "t", "Trailing"));
    EXPECT_THAT(texts_, ElementsAre(kMsgNoFieldForIndex, kMsgNoTableForIndex));
    db_.Execute("INSERT INTO t (A, B) VALUES (1, 2), (1, 2)");
}

// A backup file beside the database is deleted silently at open; one that cannot be deleted
// is reported by its path and the database stays closed, so start-up goes on without it.
TEST_F(DesignTest, BackupFileRules) {
    db_.Close();
    const std::string backup = folder_ + "/spinx.bak";
    EXPECT_EQ(BackupPath(DbPath()), backup);
    WriteFile(backup, "old");
    OpenDB(db_, DbPath());
    EXPECT_TRUE(db_.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(backup));
    EXPECT_TRUE(texts_.empty());

    // A folder with something in it cannot be deleted, whoever runs the test.
    std::filesystem::create_directories(backup + "/keep");
    EXPECT_FALSE(PrepareSongDatabase(DbPath()));
    EXPECT_FALSE(SongDbIsOpen());
    EXPECT_THAT(texts_, ElementsAre("Error deleting backup file " + backup));

    // A database that is itself named ".bak" is not deleted as its own backup.
    OpenDB(db_, backup + "/keep/songs.bak");
    OpenDB(db_, backup + "/keep/songs.bak");
    EXPECT_TRUE(db_.IsOpen());
}

// While another program holds the database, start-up asks Retry/Cancel with the fixed text;
// Retry tries again and Cancel ends the program before anything else runs.
TEST_F(DesignTest, LockedDatabaseRetryThenCancel) {
    db_.Close();
    OtherProgram other(DbPath());
    other.HoldExclusive();
    answers_ = {MsgResult::Retry, MsgResult::Cancel};
    EXPECT_THROW(PrepareSongDatabase(DbPath()), ProgramEndRequested);
    EXPECT_EQ(endProgramCalls_, 1);
    EXPECT_THAT(texts_, ElementsAre(kMsgDesignLocked, kMsgDesignLocked));
    EXPECT_THAT(buttons_, ElementsAre(MsgButtons::RetryCancel, MsgButtons::RetryCancel));
    other.Release();
    EXPECT_THAT(Columns(), ElementsAre());
}

// Retry after the other program lets go carries on where start-up stopped, here where the
// other program blocked only the writing of a needed upgrade.
TEST_F(DesignTest, LockedDatabaseRetryAfterRelease) {
    EnsureField(db_, "mp3s", "Filename", dbText, 255);
    db_.Close();
    OtherProgram writer(DbPath());
    writer.Exec("BEGIN IMMEDIATE");
    beforePrompt_ = [&] { writer.Exec("COMMIT"); };
    answers_ = {MsgResult::Retry};
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_THAT(texts_, ElementsAre(kMsgDesignLocked));
    EXPECT_EQ(Columns().back(), "Peak INTEGER");
    EXPECT_EQ(endProgramCalls_, 0);
}

} // namespace
} // namespace spinx::test
