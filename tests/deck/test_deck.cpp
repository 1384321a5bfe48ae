// The deck: loading, transport, sliders, the level meter and a song that will not load.
#include "deck/DeckDisplay.h"
#include "deck/DeckRules.h"
#include "desktest/DeskTest.h"
#include "engine/Aspinx.h"
#include "support/Mod_INI.h"
#include "widgets/PictureBox.h"

#include <QLabel>
#include <QMimeData>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <filesystem>

namespace spinx::test {
namespace {

using DeckTest = DeskTest;

QString Text(const Frm_TurnTable& deck, const char* label) {
    return Ctl<QLabel>(deck, label).text();
}

// Each slider's label follows the slider, and "Save settings" lights up for volume and pitch
// changes (volume only when it leaves the volume the player has) but never for balance. For cueing,
// an arrow key moves the pitch by 1 and its tip shows the speed change; a double-click on the pitch
// or balance label sets it back to neutral through the same handlers as a move.
TEST_F(DeckTest, SliderLabelsSaveButtonAndCueing) {
    Frm_TurnTable& deck = Deck(1); // Deck B: the crossfader at Deck A's end gives it MaxVol 0
    QToolButton& save = Ctl<QToolButton>(deck, "Cmd_Update");
    QSlider& volume = Ctl<QSlider>(deck, "VScroll2");
    EXPECT_FALSE(save.isEnabled()) << "nothing waits to be saved at start";
    Ctl<QSlider>(deck, "HScroll1").setValue(20);
    EXPECT_EQ(Text(deck, "lblPlayer1Bal"), "20");
    EXPECT_FALSE(save.isEnabled()) << "balance is not kept with the song";
    volume.setValue(-100);
    EXPECT_EQ(Text(deck, "lblPlayer1Vol"), "-100%");
    EXPECT_FALSE(save.isEnabled()) << "silent, as MaxVol 0 is";
    volume.setValue(100);
    EXPECT_TRUE(save.isEnabled());

    QSlider& pitch = Ctl<QSlider>(deck, "HScroll3");
    pitch.setValue(1024);
    QTest::keyClick(&pitch, Qt::Key_Right);
    EXPECT_EQ(Text(deck, "lblPlayer1Pit"), "1025");
    EXPECT_EQ(pitch.toolTip(), "+2.5%");
    EXPECT_TRUE(save.isEnabled());
    EXPECT_EQ(SpeedChangeText(975), "-2.5%");

    save.setEnabled(false);
    QTest::mouseDClick(&Ctl<QLabel>(deck, "Label12"), Qt::LeftButton);
    EXPECT_EQ(Text(deck, "lblPlayer1Pit"), "1000");
    EXPECT_EQ(pitch.toolTip(), "0.0%");
    EXPECT_TRUE(save.isEnabled()) << "the song's memory hears of the change";
    QTest::mouseDClick(&Ctl<QLabel>(deck, "lblPlayer1Bal"), Qt::LeftButton);
    EXPECT_EQ(Text(deck, "lblPlayer1Bal"), "50");
}

// The level meter paints the left peak on the right and the right peak on the left, and the
// reference line follows MaxVol at the next tick.
TEST_F(DeckTest, LevelMeterIsMirrored) {
    Frm_TurnTable& deck = Deck(1);
    PictureBox& meter = Ctl<PictureBox>(deck, "Pic_Level");
    meter.resize(24, 131);
    deck.DoLevel(100, 0);
    const QColor bar = QColor(kLevelBarRgb);
    const int right = meter.Picture().width() - 2, middle = meter.Picture().height() / 2;
    EXPECT_EQ(meter.Picture().pixelColor(right, middle), bar);
    EXPECT_NE(meter.Picture().pixelColor(1, middle), bar);

    Ctl<QSlider>(deck, "VScroll2").setValue(40); // plays at 70
    Tick(deck);
    EXPECT_EQ(meter.Line(0).Position(), QLineF(100, 70, 0, 70));
}

// A song chosen in the Open dialog loads from the folder remembered under "MP3 Path", is
// remembered there in turn, and then plays, pauses and stops back at its start marker; played
// to its end it plays again from that marker. A cancelled dialog changes nothing, and Play on
// an empty deck keeps the Play image.
TEST_F(DeckTest, LoadPlayPauseStop) {
    const std::string song = MakeMp3(folder.path(), "tone.mp3", 3.0);
    Frm_TurnTable& deck = Deck(0);
    QToolButton& play = Ctl<QToolButton>(deck, "Cmd_Play");
    deck.Cmd_Play_Click();
    EXPECT_FALSE(ShowsPause(play));
    scripted.Cancel();
    deck.Load0Btn_Click();
    EXPECT_EQ(deck.windowTitle(), "Deck 0");
    EXPECT_FALSE(std::filesystem::exists(INIFileName()));

    scripted.Choose({song});
    deck.Load0Btn_Click();
    ASSERT_EQ(scripted.dialogs.size(), 2u);
    EXPECT_EQ(scripted.dialogs[1].folder, "C:\\My Music");
    EXPECT_EQ(deck.Controller().Filename(), song);
    EXPECT_EQ(deck.windowTitle().toStdString(), "Deck 0 Loading..." + song);
    EXPECT_EQ(ReadINI("", "MP3 Path", "", "Settings"), folder.path());
    Settle();
    EXPECT_NEAR(deck.Controller().MaxPos(), 3000, 100);
    EXPECT_EQ(Engine().GetPlayerStatus(0), PlayerStatus::Stopped)
        << "loading never starts playback";

    deck.Cmd_Play_Click();
    EXPECT_TRUE(ShowsPause(play));
    Render(1000);
    const int32_t played = Engine().GetSoundPosition(0);
    EXPECT_GT(played, 800);
    Tick(deck);
    EXPECT_EQ(Text(deck, "Lbl_Status"), "PLAYING");
    EXPECT_TRUE(deck.windowTitle().startsWith("Deck 1 [tone] "));

    deck.Cmd_Play_Click();
    EXPECT_EQ(Engine().GetPlayerStatus(0), PlayerStatus::Paused);
    EXPECT_FALSE(ShowsPause(play));
    Render(50); // the pause fades out over a few milliseconds
    const int32_t paused = Engine().GetSoundPosition(0);
    EXPECT_NEAR(paused, played, 20);
    Render(200);
    EXPECT_EQ(Engine().GetSoundPosition(0), paused) << "pause keeps the position";

    deck.Pic_Progress_MouseMove(0, 0, 500.f, 5);
    deck.SetPos(0);
    deck.Cmd_Play_Click();
    Render(300);
    deck.Cmd_Stop_Click();
    Render(50);
    EXPECT_EQ(Engine().GetSoundPosition(0), 500) << "a stopped deck waits at its start marker";
    EXPECT_FALSE(ShowsPause(play));
    Tick(deck);
    EXPECT_EQ(Text(deck, "Lbl_Status"), "STOPPED");

    Engine().SeekSound(0, deck.Controller().MaxPos() - 100);
    deck.Cmd_Play_Click();
    Render(300);
    ASSERT_EQ(Engine().GetPlayerStatus(0), PlayerStatus::Stopped);
    deck.Cmd_Play_Click();
    Render(200);
    EXPECT_EQ(Engine().GetPlayerStatus(0), PlayerStatus::Playing);
    EXPECT_NEAR(Engine().GetSoundPosition(0), 700, 50);
}

// A song that cannot be loaded stops nothing: no box pops up, the deck says which file failed
// and why, forgets it, and loads the next song as usual. Of files dropped from the desktop only
// the first is loaded, into this deck's own player.
TEST_F(DeckTest, FailedLoadAndDroppedFiles) {
    const std::string bad = WriteFile(folder / "notes.mp3", "these are not MPEG frames\n");
    const std::string good = MakeMp3(folder.path(), "good.mp3", 1.0);
    Frm_TurnTable& deck = Deck(2);
    scripted.Choose({bad});
    deck.Load0Btn_Click();
    Settle();
    EXPECT_TRUE(scripted.messages.empty());
    EXPECT_EQ(deck.Controller().Filename(), "");
    EXPECT_FALSE(deck.Controller().LoadFailure().isEmpty());
    EXPECT_EQ(Text(deck, "Lbl_Status"), "LOAD FAILED");
    Tick(deck);
    EXPECT_TRUE(deck.windowTitle().contains(QString::fromStdString(bad)))
        << "the tick keeps the failure in view";

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(good)),
                  QUrl::fromLocalFile(QString::fromStdString(bad))});
    deck.Form_OLEDragDrop(data);
    Settle();
    EXPECT_EQ(deck.Controller().Filename(), good);
    EXPECT_TRUE(deck.Controller().LoadFailure().isEmpty());
    EXPECT_NEAR(Engine().GetSoundDuration(2), 1000, 100);
    EXPECT_EQ(Engine().GetSoundDuration(0), 0);
    deck.Cmd_Play_Click();
    Tick(deck);
    EXPECT_EQ(Text(deck, "Lbl_Status"), "PLAYING");
    scripted.replies = {MsgResult::Yes}; // load over the playing song
    deck.Form_OLEDragDrop(data);
    EXPECT_FALSE(ShowsPause(Ctl<QToolButton>(deck, "Cmd_Play"))) << "a new song waits stopped";
}

} // namespace
} // namespace spinx::test
