// Per-song settings: what a deck recalls when a song loads and stores on "Save settings", in a
// real song table, and how it copes without one.
#include "desktest/DeckDriving.h"
#include "library/EqText.h"
#include "library/SongTable.h"

#include <QLabel>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>

#include <filesystem>

namespace spinx::test {
namespace {

using SettingsTest = DeskTest;

const EqGains kCurve = {-40, -20, 0, 10, 30, 50, 0, -5, 5, 100};

// Adds a row for `song` by hand, as an older program or another tool might have left it.
void WriteRow(const std::string& song, const std::vector<std::pair<const char*, DbValue>>& cols) {
    Mp3Info info;
    Recordset table(SongDb, kSongTable);
    table.AddNew();
    table.SetField(songcol::MP3ID, GetMP3ID(song, info));
    for (const auto& [name, value] : cols)
        table.SetField(name, value);
    table.Update();
}

// A song seen for the first time gets one row with the defaults, its tag, name and path and
// the overlap time as its end; the deck's sliders follow the row, its bands stay, the song
// waits at 0 and nothing is left to save.
TEST_F(SettingsTest, FirstLoadAddsRow) {
    const std::string song = MakeMp3(folder.path(), "first.mp3", 2.0);
    AddId3v1Tag(song, "Morning", "The Band");
    Frm_TurnTable& deck = Deck(0);
    deck.VEqual[1]->setValue(30);
    deck.VScroll2->setValue(50);
    deck.HScroll3->setValue(1500);
    deck.StartPos = 700;

    LoadSong(scripted, deck, Engine(), song);
    EXPECT_EQ(SongRows(), 1);
    EXPECT_EQ(Stored(song, songcol::Volume), DbValue(0));
    EXPECT_EQ(Stored(song, songcol::Pitch), DbValue(1000));
    EXPECT_EQ(Stored(song, songcol::Title), DbValue("Morning"));
    EXPECT_EQ(Stored(song, songcol::Artist), DbValue("The Band"));
    EXPECT_EQ(Stored(song, songcol::Filename), DbValue("first"));
    EXPECT_EQ(Stored(song, songcol::Path), DbValue(song));
    EXPECT_EQ(Stored(song, songcol::End), DbValue(10000));
    EXPECT_TRUE(Stored(song, songcol::EQ).IsNull());
    EXPECT_TRUE(Stored(song, songcol::Start).IsNull());

    EXPECT_EQ(deck.VScroll2->value(), 0);
    EXPECT_EQ(deck.lblPlayer1Vol->text(), "0%");
    EXPECT_EQ(deck.HScroll3->value(), 1000);
    EXPECT_EQ(deck.VEqual[1]->value(), 30);
    EXPECT_EQ(deck.MaxVol, 0);
    EXPECT_EQ(deck.StartPos, 0);
    EXPECT_EQ(deck.EndPos, 10000);
    EXPECT_NEAR(deck.MaxPos, 2000, 100);
    EXPECT_EQ(Engine().GetSoundPosition(0), 0);
    EXPECT_FALSE(deck.Cmd_Update->isEnabled());
    EXPECT_TRUE(scripted.messages.empty());
}

// The user's round: shape a song, save it, load another, load the first again (from another
// folder under another name) and find everything as it was; the row is found again and its
// name and path follow the file.
TEST_F(SettingsTest, SavedSettingsComeBack) {
    const std::string first = MakeMp3(folder.path(), "first.mp3", 2.0);
    AddId3v1Tag(first, "First", "Someone");
    const std::string other = MakeMp3(folder.path(), "other.mp3", 1.5);
    Frm_TurnTable& deck = Deck(1);

    LoadSong(scripted, deck, Engine(), first);
    deck.VScroll2->setValue(40);
    deck.HScroll3->setValue(1100);
    for (int i = 0; i < 10; ++i)
        deck.VEqual[i]->setValue(kCurve[i]);
    deck.Pic_Progress_MouseMove(0, 0, 500.f, 0);
    deck.SetPos(0);
    EXPECT_TRUE(deck.Cmd_Update->isEnabled());
    deck.Cmd_Update->click();
    EXPECT_FALSE(deck.Cmd_Update->isEnabled());
    EXPECT_EQ(Stored(first, songcol::Volume), DbValue(40));
    EXPECT_EQ(Stored(first, songcol::Pitch), DbValue(1100));
    EXPECT_EQ(Stored(first, songcol::EQ), DbValue(EncodeEq(kCurve)));
    EXPECT_EQ(Stored(first, songcol::Title), DbValue("First")) << "store leaves the tag alone";
    EXPECT_EQ(Stored(first, songcol::Start), DbValue(500));
    EXPECT_EQ(Stored(first, songcol::End), DbValue(10000));

    LoadSong(scripted, deck, Engine(), other);
    EXPECT_EQ(deck.VScroll2->value(), 0);
    EXPECT_EQ(deck.HScroll3->value(), 1000);
    EXPECT_EQ(deck.Curve(), kCurve) << "a song without a stored curve keeps the deck's";
    EXPECT_EQ(deck.StartPos, 0);

    std::filesystem::create_directory(folder / "moved");
    const std::string renamed = folder / "moved/renamed.mp3";
    std::filesystem::copy_file(first, renamed);
    deck.Cmd_ResetEq_Click(10);
    LoadSong(scripted, deck, Engine(), renamed);
    EXPECT_EQ(SongRows(), 2);
    EXPECT_EQ(Stored(renamed, songcol::Filename), DbValue("renamed"));
    EXPECT_EQ(Stored(renamed, songcol::Path), DbValue(renamed));
    EXPECT_EQ(deck.VScroll2->value(), 40);
    EXPECT_EQ(deck.MaxVol, 40);
    EXPECT_EQ(deck.HScroll3->value(), 1100);
    EXPECT_EQ(deck.Curve(), kCurve);
    EXPECT_EQ(deck.StartPos, 500);
    EXPECT_EQ(Engine().GetSoundPosition(1), 500);
    EXPECT_FALSE(deck.Cmd_Update->isEnabled());
}

// Stored values the program would not write itself: a curve with code 0 in it sets that band
// to -100; an end of 0 or below and a missing end are replaced (in the row too) by the overlap
// time of the moment; a missing pitch reads 1000; a short or damaged curve sets only the bands
// it has valid characters for.
TEST_F(SettingsTest, OddStoredValues) {
    const std::string zero = MakeMp3(folder.path(), "zero.mp3", 1.0);
    const std::string damaged = MakeMp3(folder.path(), "damaged.mp3", 1.5);
    WriteRow(zero, {{songcol::EQ, std::string("dd\0ddddddd", 10)},
                    {songcol::End, 0},
                    {songcol::Start, 1200},
                    {songcol::Volume, -30}});
    WriteRow(damaged, {{songcol::EQ, std::string("x\xC3\xBA")}, {songcol::End, -5}});
    master->Overlap->setValue(12000);
    Frm_TurnTable& deck = Deck(0);
    deck.VEqual[5]->setValue(50);
    deck.HScroll3->setValue(700);

    LoadSong(scripted, deck, Engine(), zero);
    EXPECT_EQ(deck.Curve(), (EqGains{0, 0, -100, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(deck.EndPos, 12000);
    EXPECT_EQ(Stored(zero, songcol::End), DbValue(12000));
    EXPECT_EQ(deck.StartPos, 1200);
    EXPECT_EQ(deck.HScroll3->value(), 1000);
    EXPECT_EQ(deck.VScroll2->value(), -30);

    deck.VEqual[1]->setValue(70);
    LoadSong(scripted, deck, Engine(), damaged);
    EXPECT_EQ(deck.Curve(), (EqGains{20, 70, -100, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(deck.EndPos, 12000);
    EXPECT_EQ(Stored(damaged, songcol::End), DbValue(12000));
    EXPECT_EQ(deck.VScroll2->value(), 0);
    EXPECT_EQ(SongRows(), 2);
}

// "Save settings" without a song changes nothing, not even the button; on a song whose row has
// gone it adds a bare row with the curve as exactly ten characters, all of code 0 at -100.
TEST_F(SettingsTest, StoreWithoutSongOrRow) {
    Frm_TurnTable& deck = Deck(0);
    deck.HScroll3->setValue(1200);
    ASSERT_TRUE(deck.Cmd_Update->isEnabled());
    deck.Cmd_Update_Click();
    EXPECT_TRUE(deck.Cmd_Update->isEnabled());
    EXPECT_EQ(SongRows(), 0);

    const std::string song = MakeMp3(folder.path(), "song.mp3", 1.0);
    AddId3v1Tag(song, "Title", "Artist");
    LoadSong(scripted, deck, Engine(), song);
    SongDb.Execute("DELETE FROM mp3s");
    for (QScrollBar* band : deck.VEqual)
        band->setValue(-100);
    deck.Cmd_Update_Click();
    EXPECT_EQ(SongRows(), 1);
    EXPECT_EQ(Stored(song, songcol::EQ), DbValue(std::string(10, '\0')));
    EXPECT_TRUE(Stored(song, songcol::Title).IsNull());
    EXPECT_TRUE(Stored(song, songcol::End).IsNull());
    EXPECT_EQ(Stored(song, songcol::Pitch), DbValue(1000));
}

// Without a song database the deck still loads and plays, with its markers at their defaults;
// recall and store do nothing and say nothing.
TEST_F(SettingsTest, WithoutDatabase) {
    CloseSongDatabase();
    const std::string song = MakeMp3(folder.path(), "song.mp3", 2.0);
    Frm_TurnTable& deck = Deck(0);
    deck.VScroll2->setValue(20);
    LoadSong(scripted, deck, Engine(), song);
    EXPECT_NEAR(deck.MaxPos, 2000, 100);
    EXPECT_EQ(deck.EndPos, 10000);
    EXPECT_EQ(deck.VScroll2->value(), 20);
    deck.HScroll3->setValue(900);
    deck.Cmd_Update_Click();
    EXPECT_TRUE(deck.Cmd_Update->isEnabled());
    deck.Cmd_Play_Click();
    EXPECT_EQ(Engine().GetPlayerStatus(0), kPlaying);
    EXPECT_TRUE(scripted.messages.empty());
}

// A database that fails under the deck is reported, and the song plays on.
TEST_F(SettingsTest, DatabaseFailureIsToldAndPlayGoesOn) {
    SongDb.Execute("DROP TABLE mp3s");
    const std::string song = MakeMp3(folder.path(), "song.mp3", 2.0);
    Frm_TurnTable& deck = Deck(0);
    LoadSong(scripted, deck, Engine(), song);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].rfind("The song database could not be used", 0), 0u);
    EXPECT_NEAR(deck.MaxPos, 2000, 100);
    EXPECT_EQ(deck.EndPos, 10000);

    deck.Cmd_Play_Click();
    deck.HScroll3->setValue(900);
    deck.Cmd_Update_Click();
    EXPECT_EQ(scripted.messages.size(), 2u);
    EXPECT_TRUE(deck.Cmd_Update->isEnabled()) << "nothing was saved";
    Render(200);
    EXPECT_EQ(Engine().GetPlayerStatus(0), kPlaying);
    EXPECT_GT(Engine().GetSoundPosition(0), 100);
}

} // namespace
} // namespace spinx::test
