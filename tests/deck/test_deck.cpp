// The deck: loading, transport, sliders, the level meter and a song that will not load.
#include "deck/Mod_Deck.h"
#include "desktest/DeskTest.h"
#include "engine/Aspinx.h"
#include "shell/PictureBox.h"
#include "support/Mod_Convert.h"
#include "support/Mod_INI.h"

#include <QLabel>
#include <QMimeData>
#include <QSlider>
#include <QToolButton>
#include <QUrl>

#include <filesystem>

namespace spinx::test {
namespace {

using DeckTest = DeskTest;

bool ShowsImage(const QToolButton& button, const QIcon& image) {
    return button.icon().cacheKey() == image.cacheKey();
}

// The volume slider's ends are full and silent; conversions round half to even and saturate
// instead of wrapping at the ends of their range (the volume half steps are in the mixer's law).
TEST(DeckRules, RoundingHalfToEven) {
    EXPECT_EQ(VolumeFromSlider(100), 100.0);
    EXPECT_EQ(VolumeFromSlider(-100), 0.0);
    EXPECT_EQ(CInt(-1.5), -2);
    EXPECT_EQ(CInt(2.4999), 2);
    EXPECT_EQ(CInt(-40000.0), -32768);
    EXPECT_EQ(CLng(12344.5), 12344);
    EXPECT_EQ(CLng(1e12), 2147483647);
}

// Each slider's label follows the slider, and "Save settings" lights up for volume and pitch
// changes (volume only when it leaves MaxVol) but never for balance.
TEST_F(DeckTest, SliderLabelsAndSaveButton) {
    Frm_TurnTable& deck = Deck(0);
    EXPECT_FALSE(deck.Cmd_Update->isEnabled()) << "nothing waits to be saved at start";
    EXPECT_EQ(deck.lblPlayer1Vol->text(), "0%");
    EXPECT_EQ(deck.lblPlayer1Pit->text(), "1000");
    EXPECT_EQ(deck.lblPlayer1Bal->text(), "50");

    deck.VScroll2->setValue(100);
    EXPECT_EQ(deck.lblPlayer1Vol->text(), "100%");
    deck.VScroll2->setValue(-100);
    EXPECT_EQ(deck.lblPlayer1Vol->text(), "-100%");
    EXPECT_TRUE(deck.Cmd_Update->isEnabled());

    // A volume equal to MaxVol is no change worth saving.
    deck.Cmd_Update->setEnabled(false);
    deck.MaxVol = 51;
    deck.VScroll2->setValue(2);
    EXPECT_FALSE(deck.Cmd_Update->isEnabled());
    deck.VScroll2->setValue(3);
    EXPECT_TRUE(deck.Cmd_Update->isEnabled());

    deck.Cmd_Update->setEnabled(false);
    deck.HScroll1->setValue(20);
    EXPECT_EQ(deck.lblPlayer1Bal->text(), "20");
    EXPECT_FALSE(deck.Cmd_Update->isEnabled());

    deck.HScroll3->setValue(1500);
    EXPECT_EQ(deck.lblPlayer1Pit->text(), "1500");
    EXPECT_TRUE(deck.Cmd_Update->isEnabled());
    // Even a change handler run without a new value counts.
    deck.Cmd_Update->setEnabled(false);
    deck.HScroll3_Change();
    EXPECT_TRUE(deck.Cmd_Update->isEnabled());
}

// The level meter paints the left peak on the right and the right peak on the left, and the
// reference line follows MaxVol at the next tick.
TEST_F(DeckTest, LevelMeterIsMirrored) {
    Frm_TurnTable& deck = Deck(1);
    deck.Pic_Level->resize(24, 131);
    deck.DoLevel(100, 0);
    const QImage& picture = deck.Pic_Level->Picture();
    const QColor bar = QBColor(2);
    const int middle = picture.height() / 2;
    EXPECT_EQ(picture.pixelColor(picture.width() - 2, middle), bar);
    EXPECT_NE(picture.pixelColor(1, middle), bar);
    // Peaks at the ends of the 16-bit range: wrapped, the top one would clear its whole bar and
    // the bottom one would light the strip above 101.
    deck.DoLevel(32767, -32768);
    EXPECT_EQ(deck.Pic_Level->Picture().pixelColor(picture.width() - 2, middle), bar);
    EXPECT_NE(deck.Pic_Level->Picture().pixelColor(1, 10), bar);

    deck.MaxVol = 70;
    deck.Timer1_Timer();
    EXPECT_EQ(deck.Line_MaxVol->Position().y1(), 70);
    EXPECT_EQ(deck.Line_MaxVol->Position().y2(), 70);
}

// A song chosen in the Open dialog loads from the folder remembered under "MP3 Path", is
// remembered there in turn, and then plays, pauses and stops back at its start marker.
TEST_F(DeckTest, LoadPlayPauseStop) {
    const std::string song = MakeMp3(folder.path(), "tone.mp3", 3.0);
    Frm_TurnTable& deck = Deck(0);

    scripted.Choose({song});
    deck.Load0Btn_Click();
    ASSERT_EQ(scripted.dialogs.size(), 1u);
    const CommonDialog& shown = scripted.dialogs[0].settings;
    EXPECT_EQ(shown.InitDir, "C:\\My Music");
    EXPECT_EQ(shown.FileName, "");
    EXPECT_EQ(deck.Filename, song);
    EXPECT_EQ(deck.windowTitle().toStdString(), "Deck 0 Loading..." + song);
    EXPECT_EQ(ReadINI("", "MP3 Path", "", "Settings"), folder.path());
    EXPECT_TRUE(ShowsImage(*deck.Cmd_Play, deck.Pic_Play));

    Settle();
    EXPECT_NEAR(deck.MaxPos, 3000, 100);
    EXPECT_EQ(Engine().GetPlayerStatus(0), kStopped) << "loading never starts playback";

    deck.Cmd_Play_Click();
    EXPECT_EQ(Engine().GetPlayerStatus(0), kPlaying);
    EXPECT_TRUE(ShowsImage(*deck.Cmd_Play, deck.Pic_Pause));
    Render(1000);
    const int32_t played = Engine().GetSoundPosition(0);
    EXPECT_GT(played, 800);
    deck.Timer1_Timer();
    EXPECT_EQ(deck.Lbl_Status->text(), "PLAYING");
    EXPECT_TRUE(deck.windowTitle().startsWith("Deck 1 [tone] "));
    EXPECT_TRUE(deck.windowTitle().endsWith(" (PLAYING) 0"));

    deck.Cmd_Play_Click();
    EXPECT_EQ(Engine().GetPlayerStatus(0), kPaused);
    EXPECT_TRUE(ShowsImage(*deck.Cmd_Play, deck.Pic_Play));
    Render(50); // the pause fades out over a few milliseconds
    const int32_t paused = Engine().GetSoundPosition(0);
    EXPECT_NEAR(paused, played, 20);
    Render(200);
    EXPECT_EQ(Engine().GetSoundPosition(0), paused) << "pause keeps the position";

    deck.StartPos = 500;
    deck.Cmd_Play_Click();
    Render(300);
    deck.Cmd_Stop_Click();
    Render(50);
    EXPECT_EQ(Engine().GetPlayerStatus(0), kStopped);
    EXPECT_EQ(Engine().GetSoundPosition(0), 500) << "a stopped deck waits at its start marker";
    EXPECT_TRUE(ShowsImage(*deck.Cmd_Play, deck.Pic_Play));
    deck.Timer1_Timer();
    EXPECT_EQ(deck.Lbl_Status->text(), "STOPPED");

    // The next Open dialog starts where the last song came from.
    scripted.Cancel();
    deck.Load0Btn_Click();
    ASSERT_EQ(scripted.dialogs.size(), 2u);
    EXPECT_EQ(scripted.dialogs[1].settings.InitDir, folder.path());
}

// Cancelling the Open dialog changes neither the song, the caption nor the stored folder.
TEST_F(DeckTest, CancelledOpenChangesNothing) {
    Frm_TurnTable& deck = Deck(1);
    const QString caption = deck.windowTitle();
    scripted.Cancel();
    deck.Load0Btn_Click();
    EXPECT_EQ(scripted.dialogs.size(), 1u);
    EXPECT_EQ(deck.Filename, "");
    EXPECT_EQ(deck.windowTitle(), caption);
    EXPECT_FALSE(std::filesystem::exists(INIFileName()));
}

// A song that cannot be loaded stops nothing: no box pops up, the deck says which file failed
// and why, forgets it, and loads the next song as usual.
TEST_F(DeckTest, FailedLoadLeavesUsableDeck) {
    const std::string bad = WriteFile(folder / "notes.mp3", "these are not MPEG frames\n");
    const std::string good = MakeMp3(folder.path(), "good.mp3", 1.0);
    Frm_TurnTable& deck = Deck(0);

    scripted.Choose({bad});
    deck.Load0Btn_Click();
    Settle();
    EXPECT_TRUE(scripted.messages.empty());
    EXPECT_EQ(deck.Filename, "");
    EXPECT_FALSE(deck.LoadFailure().isEmpty());
    EXPECT_TRUE(deck.windowTitle().contains(QString::fromStdString(bad)));
    EXPECT_TRUE(deck.windowTitle().contains(deck.LoadFailure()));
    EXPECT_EQ(deck.Lbl_Status->text(), "LOAD FAILED");
    deck.Timer1_Timer();
    EXPECT_TRUE(deck.windowTitle().contains(QString::fromStdString(bad)))
        << "the tick keeps the failure in view";

    scripted.Choose({good});
    deck.Load0Btn_Click();
    Settle();
    EXPECT_EQ(deck.Filename, good);
    EXPECT_TRUE(deck.LoadFailure().isEmpty());
    EXPECT_NEAR(deck.MaxPos, 1000, 100);
    deck.Cmd_Play_Click();
    EXPECT_EQ(Engine().GetPlayerStatus(0), kPlaying);
    deck.Timer1_Timer();
    EXPECT_EQ(deck.Lbl_Status->text(), "PLAYING");
}

// Files dropped from the desktop: only the first is loaded, into this deck's own player.
TEST_F(DeckTest, DroppedFilesLoadTheFirst) {
    const std::string first = MakeMp3(folder.path(), "first.mp3", 2.0);
    const std::string second = MakeMp3(folder.path(), "second.mp3", 1.0);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(first)),
                  QUrl::fromLocalFile(QString::fromStdString(second)),
                  QUrl::fromLocalFile(QString::fromStdString(folder / "third.mp3"))});
    Frm_TurnTable& deck = Deck(2);
    deck.Form_OLEDragDrop(data);
    Settle();
    EXPECT_EQ(deck.ID, 2);
    EXPECT_EQ(deck.Filename, first);
    EXPECT_NEAR(Engine().GetSoundDuration(2), 2000, 100);
    EXPECT_EQ(Engine().GetSoundDuration(0), 0);
}

} // namespace
} // namespace spinx::test
