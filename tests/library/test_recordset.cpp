// The decks' access to the song table: seek by identifier, add or edit, columns by name with
// Null kept apart, one row per identifier, and the EQ text surviving the trip to disk.
#include "LibraryTestSupport.h"

#include "library/EqText.h"
#include "library/Recordset.h"
#include "library/SongTable.h"

namespace spinx::test {
namespace {

using ::testing::ElementsAre;

class RecordsetTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_TRUE(PrepareSongDatabase(SongDatabasePath()));
    }

    // What loading a song into a deck does with its row: add it with defaults when it is new,
    // refresh its file columns either way.
    static void LoadSong(Database& db, const std::string& id, const std::string& path) {
        Recordset rs(db, "mp3s");
        rs.SetIndex("MP3ID");
        rs.Seek("=", id);
        if (rs.NoMatch()) {
            rs.AddNew();
            rs.SetField("Volume", 0);
            rs.SetField("Pitch", 1000);
        } else {
            rs.Edit();
        }
        rs.SetField("MP3ID", id);
        rs.SetField("Path", path);
        rs.Update();
        rs.Close();
    }
};

// A new song gets one row whose unset columns read as Null, apart from 0 and ""; loading it
// again under another path finds and rewrites that row instead of adding one.
TEST_F(RecordsetTest, SeekAddEditKeepsOneRowPerSong) {
    LoadSong(SongDb, "128215441003443712", "/music/a.mp3");
    Recordset rs(SongDb, "mp3s");
    rs.SetIndex("MP3ID");
    rs.Seek("=", "128215441003443712");
    ASSERT_FALSE(rs.NoMatch());
    EXPECT_EQ(rs.Field("volume"), DbValue(0));
    EXPECT_TRUE(rs.Field("Volume").IsLong());
    EXPECT_TRUE(rs.Field("Start").IsNull());
    EXPECT_TRUE(rs.Field("EQ").IsNull());
    EXPECT_EQ(rs.Field("Start").AsLong(), 0);
    rs.Edit();
    rs.SetField("EQ", "");
    rs.SetField("Start", 0);
    rs.Update();
    EXPECT_EQ(rs.Field("EQ"), DbValue(""));
    EXPECT_FALSE(rs.Field("Start").IsNull());

    LoadSong(SongDb, "128215441003443712", "/elsewhere/renamed.mp3");
    LoadSong(SongDb, "0001000000", "/music/b.mp3");
    EXPECT_THAT(Values("Path"), ElementsAre("/elsewhere/renamed.mp3", "/music/b.mp3"));
    EXPECT_THAT(Values("Pitch"), ElementsAre("1000", "1000"));
    rs.Seek("=", "999");
    EXPECT_TRUE(rs.NoMatch());
}

// Two writers that both miss the same new song and both add it leave one row, even when the
// second writer is another connection to the file.
TEST_F(RecordsetTest, RacingAddsOfOneSongLeaveOneRow) {
    Database second;
    OpenDB(second, DbPath());
    Recordset first(SongDb, "mp3s");
    Recordset other(second, "mp3s");
    for (Recordset* rs : {&first, &other}) {
        rs->SetIndex("MP3ID");
        rs->Seek("=", "42");
        ASSERT_TRUE(rs->NoMatch());
        rs->AddNew();
        rs->SetField("MP3ID", "42");
    }
    first.SetField("Volume", 10);
    first.Update();
    other.SetField("Pitch", 1500);
    other.Update();
    EXPECT_THAT(Values("MP3ID"), ElementsAre("42"));
    EXPECT_THAT(Values("Volume"), ElementsAre("10"));
    EXPECT_THAT(Values("Pitch"), ElementsAre("1500"));
    EXPECT_EQ(other.Field("Volume"), DbValue(10));
}

// Misuse and a vanished database come back as DbError, never as a crash or a silent no-op.
TEST_F(RecordsetTest, MisuseIsReported) {
    Recordset rs(SongDb, "mp3s");
    EXPECT_THROW(rs.Seek("=", "1"), DbError); // no index chosen
    EXPECT_THROW(rs.SetIndex("mp3id"), DbError);
    rs.SetIndex("MP3ID");
    EXPECT_THROW(rs.Seek(">=", "1"), DbError);
    rs.Seek("=", "1");
    EXPECT_THROW(rs.Field("Volume"), DbError); // no current row
    EXPECT_THROW(rs.Edit(), DbError);
    EXPECT_THROW(rs.Update(), DbError);
    rs.AddNew();
    EXPECT_THROW(rs.SetField("Loudness", 1), DbError);
    EXPECT_THROW(Recordset(SongDb, "nosuch"), DbError);

    CloseSongDatabase();
    EXPECT_THROW(rs.Update(), DbError);
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_THROW(rs.Seek("=", "1"), DbError); // still the closed connection's recordset
}

// EQ curves at both ends of the range, and a mixed one holding code 0 and the Latin-1 codes,
// read back exactly after the database is closed and opened again.
TEST_F(RecordsetTest, EqTextRoundTripsThroughTheFile) {
    const std::vector<EqGains> curves = {
        {-100, -100, -100, -100, -100, -100, -100, -100, -100, -100},
        {100, 100, 100, 100, 100, 100, 100, 100, 100, 100},
        {-100, 0, 27, 28, 100, -1, 99, -100, 60, 1},
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (std::size_t i = 0; i < curves.size(); ++i) {
        Recordset rs(SongDb, "mp3s");
        rs.AddNew();
        rs.SetField("MP3ID", std::to_string(i));
        rs.SetField("EQ", EncodeEq(curves[i]));
        rs.Update();
    }
    CloseSongDatabase();
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    Recordset rs(SongDb, "mp3s");
    rs.SetIndex("MP3ID");
    for (std::size_t i = 0; i < curves.size(); ++i) {
        rs.Seek("=", std::to_string(i));
        ASSERT_FALSE(rs.NoMatch());
        EqGains read{};
        read.fill(55);
        EXPECT_EQ(DecodeEq(rs.Field("EQ").AsText(), read), 10);
        EXPECT_EQ(read, curves[i]) << "curve " << i;
    }
    // Code 0 is stored as a byte of its own, codes above 127 as two UTF-8 bytes.
    OtherProgram reader(DbPath());
    EXPECT_THAT(reader.Column("SELECT length(CAST(EQ AS BLOB)) FROM mp3s"),
                ElementsAre("10", "20", "14", "10"));
    EXPECT_THAT(reader.Column("SELECT EQ FROM mp3s WHERE MP3ID = '3'"), ElementsAre("dddddddddd"));
}

} // namespace
} // namespace spinx::test
