// Per-song settings: what a deck recalls when a song loads and stores on "Save settings", in a
// real song table, and how it copes without one.
#include "desktest/DeckDriving.h"
#include "library/EqText.h"

#include <QScrollBar>
#include <QSlider>
#include <QToolButton>

#include <filesystem>
#include <fstream>

namespace spinx::test {
namespace {

using SettingsTest = DeskTest;

const EqGains kCurve = {-40, -20, 0, 10, 30, 50, 0, -5, 5, 100};

// A first load adds one row (defaults, tag, name, path, the overlap as its end) and sets the
// sliders from it, leaving the bands; saved settings come back when the same song is loaded
// again from another folder under another name, whose row then follows the file.
TEST_F(SettingsTest, RecallAndStoreRoundTrip) {
    const std::string first = MakeMp3(folder.path(), "first.mp3", 2.0);
    std::ofstream(first, std::ios::app) << Id3v1Tag("Morning", 0, 0, 12, "TAG", "The Band");
    Frm_TurnTable& deck = Deck(1);
    QSlider& volume = Ctl<QSlider>(deck, "VScroll2");
    QToolButton& save = Ctl<QToolButton>(deck, "Cmd_Update");
    Ctl<QScrollBar>(deck, "VEqual", 1).setValue(30);
    Ctl<QSlider>(deck, "HScroll3").setValue(1500);

    LoadSong(scripted, deck, Engine(), first);
    EXPECT_EQ(SongRows(), 1);
    for (auto [column, value] : {std::pair{songcol::Volume, DbValue(0)},
                                 {songcol::Pitch, DbValue(1000)},
                                 {songcol::Title, DbValue("Morning")},
                                 {songcol::Artist, DbValue("The Band")},
                                 {songcol::Filename, DbValue("first")},
                                 {songcol::Path, DbValue(first)},
                                 {songcol::End, DbValue(10000)},
                                 {songcol::EQ, DbValue()},
                                 {songcol::Start, DbValue()}})
        EXPECT_EQ(Stored(first, column), value) << column;
    EXPECT_EQ(Ctl<QSlider>(deck, "HScroll3").value(), 1000);
    EXPECT_EQ(Ctl<QScrollBar>(deck, "VEqual", 1).value(), 30);
    EXPECT_EQ(deck.Controller().StartPos(), 0);
    EXPECT_EQ(deck.Controller().EndPos(), 10000);
    EXPECT_NEAR(deck.Controller().MaxPos(), 2000, 100);
    EXPECT_FALSE(save.isEnabled());

    volume.setValue(40);
    Ctl<QSlider>(deck, "HScroll3").setValue(1100);
    for (int i = 0; i < 10; ++i)
        Ctl<QScrollBar>(deck, "VEqual", i).setValue(kCurve[i]);
    deck.Pic_Progress_MouseMove(0, 0, 500.f, 5);
    deck.SetPos(0);
    save.click();
    EXPECT_FALSE(save.isEnabled());
    EXPECT_EQ(Stored(first, songcol::EQ), DbValue(EncodeEq(kCurve)));
    EXPECT_EQ(Stored(first, songcol::Title), DbValue("Morning")) << "store leaves the tag";

    std::filesystem::create_directory(folder / "moved");
    const std::string renamed = folder / "moved/renamed.mp3";
    std::filesystem::copy_file(first, renamed);
    deck.Cmd_ResetEq_Click(10);
    volume.setValue(-100);
    Ctl<QSlider>(deck, "HScroll3").setValue(1);
    LoadSong(scripted, deck, Engine(), renamed);
    EXPECT_EQ(SongRows(), 1);
    EXPECT_EQ(Stored(renamed, songcol::Filename), DbValue("renamed"));
    EXPECT_EQ(Stored(renamed, songcol::Path), DbValue(renamed));
    EXPECT_EQ(volume.value(), 40);
    EXPECT_EQ(deck.Controller().MaxVol().value, 70) << "the player plays at the slider's volume";
    EXPECT_EQ(Ctl<QSlider>(deck, "HScroll3").value(), 1100);
    EXPECT_EQ(deck.Controller().Curve(), kCurve);
    EXPECT_EQ(Engine().GetSoundPosition(1), 500) << "the song waits at its start marker";
}

// Stored values the program would not write itself: code 0 in the curve is -100; an end of 0
// or below is replaced, in the row too, by the overlap time of the moment; a missing pitch
// reads 1000; a short or damaged curve sets only the bands it has valid characters for.
TEST_F(SettingsTest, OddStoredValues) {
    const std::string zero = MakeMp3(folder.path(), "zero.mp3", 1.0);
    const std::string damaged = MakeMp3(folder.path(), "damaged.mp3", 1.5);
    for (auto [song, eq, end] : {std::tuple{zero, std::string("dd\0ddddddd", 10), 0},
                                 {damaged, std::string("x\xC3\xBA"), -5}}) {
        Mp3Info info;
        SaveSong(GetMP3ID(song, info), {{songcol::EQ, eq}, {songcol::End, end}});
    }
    Ctl<QSlider>(*master, "Overlap").setValue(12000);
    Frm_TurnTable& deck = Deck(0);
    QSlider& pitch = Ctl<QSlider>(deck, "HScroll3");
    Ctl<QScrollBar>(deck, "VEqual", 5).setValue(50);
    pitch.setValue(700);

    LoadSong(scripted, deck, Engine(), zero);
    EXPECT_EQ(deck.Controller().Curve(), (EqGains{0, 0, -100, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(deck.Controller().EndPos(), 12000);
    EXPECT_EQ(Stored(zero, songcol::End), DbValue(12000));
    EXPECT_EQ(pitch.value(), 1000);

    Ctl<QScrollBar>(deck, "VEqual", 1).setValue(70);
    LoadSong(scripted, deck, Engine(), damaged);
    EXPECT_EQ(deck.Controller().Curve(), (EqGains{20, 70, -100, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Stored(damaged, songcol::End), DbValue(12000));
}

// Without a database the deck loads and plays with default markers and says nothing; a database
// failing under it is told, nothing counts as saved, and the song plays on.
TEST_F(SettingsTest, NoSongNoDatabaseAndFailure) {
    Frm_TurnTable& deck = Deck(0);
    QSlider& pitch = Ctl<QSlider>(deck, "HScroll3");
    QToolButton& save = Ctl<QToolButton>(deck, "Cmd_Update");
    const std::string song = MakeMp3(folder.path(), "song.mp3", 2.0);
    SongDb.Execute("DROP TABLE mp3s");
    LoadSong(scripted, deck, Engine(), song);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].rfind("The song database could not be used", 0), 0u);
    EXPECT_NEAR(deck.Controller().MaxPos(), 2000, 100);
    EXPECT_EQ(deck.Controller().EndPos(), 10000);
    deck.Cmd_Play_Click();
    pitch.setValue(900);
    deck.Cmd_Update_Click();
    EXPECT_EQ(scripted.messages.size(), 2u);
    EXPECT_TRUE(save.isEnabled());
    Render(200);
    EXPECT_GT(Engine().GetSoundPosition(0), 100);

    CloseSongDatabase();
    LoadSong(scripted, Deck(1), Engine(), song);
    Deck(1).Cmd_Update_Click();
    Deck(1).Pic_Progress_MouseMove(0, 0, 300.f, 5);
    Deck(1).SetPos(0);
    EXPECT_EQ(Deck(1).Controller().StartPos(), 300) << "markers still work for the session";
    EXPECT_EQ(Deck(1).Controller().EndPos(), Deck(1).Controller().MaxPos() / 2)
        << "a 2 s song fades from its middle";
    EXPECT_EQ(scripted.messages.size(), 2u);
}

} // namespace
} // namespace spinx::test
