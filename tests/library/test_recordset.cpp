// The decks' access to the song table: seek by identifier, add or edit, columns by name with
// Null kept apart, one row per identifier, and the EQ text surviving the trip to disk.
#include "LibraryTestSupport.h"

#include "library/EqText.h"
#include "library/Recordset.h"

namespace spinx::test {
namespace {

using ::testing::ElementsAre;

class RecordsetTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    }

    // Loading a song into a deck: add its row with defaults when new, refresh its path.
    static void LoadSong(Database& db, const std::string& id, const std::string& path) {
        Recordset rs(db, "mp3s");
        rs.SetIndex("MP3ID");
        rs.Seek("=", id);
        if (rs.NoMatch()) {
            rs.AddNew();
            rs.SetField("Volume", 0);
            rs.SetField("MP3ID", id);
        } else {
            rs.Edit();
        }
        rs.SetField("Path", path);
        rs.Update();
    }
};

// A new song gets one row whose unset columns read as Null, apart from 0 and ""; loading it
// again under another path rewrites that row instead of adding one.
TEST_F(RecordsetTest, SeekAddEditKeepsOneRowPerSong) {
    LoadSong(SongDb, "128215441003443712", "/music/a.mp3");
    Recordset rs(SongDb, "mp3s");
    rs.SetIndex("MP3ID");
    rs.Seek("=", "128215441003443712");
    ASSERT_FALSE(rs.NoMatch());
    EXPECT_TRUE(rs.Field("volume").IsLong());
    EXPECT_EQ(rs.Field("Volume").AsLong(-1), 0);
    EXPECT_TRUE(rs.Field("Start").IsNull());
    rs.Edit();
    rs.SetField("EQ", "");
    rs.Update();
    EXPECT_EQ(rs.Field("EQ"), DbValue(""));

    LoadSong(SongDb, "128215441003443712", "/elsewhere/renamed.mp3");
    LoadSong(SongDb, "0001000000", "/music/b.mp3");
    EXPECT_THAT(Values("Path"), ElementsAre("/elsewhere/renamed.mp3", "/music/b.mp3"));
    EXPECT_THAT(Values("EQ"), ElementsAre("", "NULL"));
    rs.Seek("=", "999");
    EXPECT_TRUE(rs.NoMatch());
    EXPECT_THROW(rs.Field("Volume"), DbError);

    // A recordset outliving its database is refused rather than used on a dead connection.
    CloseSongDatabase();
    ASSERT_TRUE(PrepareSongDatabase(DbPath()));
    EXPECT_THROW(rs.Seek("=", "1"), DbError);
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
    EXPECT_THAT(Values("Volume"), ElementsAre("10"));
    EXPECT_THAT(Values("Pitch"), ElementsAre("1500"));
}

// EQ curves at both ends of the range and a mixed one holding code 0 and Latin-1 codes read
// back exactly after the database is closed and opened again.
TEST_F(RecordsetTest, EqTextRoundTripsThroughTheFile) {
    const std::vector<EqGains> curves = {
        {-100, -100, -100, -100, -100, -100, -100, -100, -100, -100},
        {100, 100, 100, 100, 100, 100, 100, 100, 100, 100},
        {-100, 0, 27, 28, 100, -1, 99, -100, 60, 1},
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
        EqGains read{};
        EXPECT_EQ(DecodeEq(rs.Field("EQ").AsText(), read), 10);
        EXPECT_EQ(read, curves[i]) << "curve " << i;
    }
}

} // namespace
} // namespace spinx::test
