// The mixer: its start-up, the engine's events, deck assignment, the crossfader and the master
// volume.
#include "desktest/DeskTest.h"
#include "engine/Aspinx.h"
#include "mixer/Mod_Crossfade.h"
#include "mixer/Mod_StartDoc.h"
#include "mixer/Mod_Version.h"
#include "shell/ClickLabel.h"
#include "shell/PictureBox.h"
#include "spinx/Version.h"

#include <QCheckBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

namespace spinx::test {
namespace {

using MixerTest = DeskTest;

std::vector<bool> Enabled(const std::array<QRadioButton*, 4>& buttons) {
    std::vector<bool> states;
    for (const QRadioButton* button : buttons)
        states.push_back(button->isEnabled());
    return states;
}

// The version reads major, two-digit minor and, when given, a four-digit revision.
TEST(MixerRules, VersionString) {
    EXPECT_EQ(VersionString(1, 2, 34), "1.02.0034");
    EXPECT_EQ(VersionString(1, 2), "1.02");
    EXPECT_EQ(VersionString(0, 1, 0), "0.01.0000");
    EXPECT_EQ(VersionString(10, 123, 12345), "10.123.12345");
}

// The crossfade law: each deck gets its share of the crossfader, capped by its own slider,
// never below 0, rounded half to even.
TEST(MixerRules, CrossfadeLaw) {
    EXPECT_EQ(CrossfadeVolume(100 - 30, 100), 70);
    EXPECT_EQ(CrossfadeVolume(30, 100), 30);
    for (int f : {0, 50, 100})
        EXPECT_EQ(CrossfadeVolume(f, -100), 0);
    EXPECT_EQ(CrossfadeVolume(100, 1), 50);
    EXPECT_EQ(CrossfadeVolume(100, 3), 52);
    EXPECT_EQ(CrossfadeVolume(80, 0), 50);
    EXPECT_EQ(CrossfadeVolume(-5, 100), 0);
}

// After start-up: four decks with IDs matching their slots in the creation order, the first
// two shown and the others hidden, Deck 1 as A and Deck 2 as B with each disabled in the other
// group, the title with our version and the master volume read back from the engine.
TEST_F(MixerTest, StartUpState) {
    const std::vector<Frm_TurnTable*> loaded = LoadedTurnTables(*main->MdiArea);
    ASSERT_EQ(loaded.size(), 4u);
    for (int16_t p = 0; p < 4; ++p) {
        ASSERT_TRUE(master->Decks[p]);
        EXPECT_EQ(master->Decks[p]->ID, p);
        EXPECT_EQ(loaded[p], master->Decks[p].data());
        EXPECT_EQ(master->Decks[p]->windowTitle(), QStringLiteral("Deck %1").arg(p));
        EXPECT_EQ(!master->Decks[p]->parentWidget()->isHidden(), p < 2) << "deck " << p;
    }
    EXPECT_TRUE(master->Opt_DeckA[0]->isChecked());
    EXPECT_TRUE(master->Opt_DeckB[1]->isChecked());
    EXPECT_EQ(Enabled(master->Opt_DeckA), (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(Enabled(master->Opt_DeckB), (std::vector<bool>{false, true, true, true}));

    const QString title = master->Lbl_Title->text();
    EXPECT_EQ(title.section('\n', 0, 0).toStdString(),
              "Spinx V" +
                  VersionString(SPINX_VERSION_MAJOR, SPINX_VERSION_MINOR, SPINX_VERSION_PATCH));
    EXPECT_EQ(title.count('\n'), 2);
    EXPECT_EQ(master->lblMasterVol->text(), "100%");
    EXPECT_EQ(Engine().GetMasterVolume(0), 100);
}

// Moving the crossfader sets Deck A and Deck B from the law and leaves each deck's MaxVol equal
// to what was sent; other decks are not touched, and a new assignment is served next time.
TEST_F(MixerTest, CrossfaderDrivesTheAssignedPair) {
    Deck(0).VScroll2->setValue(100);
    Deck(1).VScroll2->setValue(3);
    Deck(2).VScroll2->setValue(100);
    Deck(2).MaxVol = -7;

    master->HScroll1->setValue(30);
    EXPECT_EQ(Deck(0).MaxVol, 70);
    EXPECT_EQ(Deck(1).MaxVol, 30);
    EXPECT_EQ(Deck(2).MaxVol, -7);
    master->HScroll1->setValue(100);
    EXPECT_EQ(Deck(0).MaxVol, 0);
    EXPECT_EQ(Deck(1).MaxVol, 52) << "ceiling 51.5 goes to the even 52";

    // "Deck 3" as Deck A: it is disabled in the B group, the other three are enabled there.
    master->Opt_DeckA[2]->setChecked(true);
    EXPECT_EQ(Enabled(master->Opt_DeckB), (std::vector<bool>{true, true, false, true}));
    EXPECT_EQ(Deck(2).MaxVol, -7) << "a new assignment waits for the crossfader";
    master->HScroll1->setValue(40);
    EXPECT_EQ(Deck(2).MaxVol, 60);
    EXPECT_EQ(Deck(0).MaxVol, 0) << "Deck 1 is no longer mixed";

    master->Opt_DeckB[3]->setChecked(true);
    EXPECT_EQ(Enabled(master->Opt_DeckA), (std::vector<bool>{true, true, true, false}));
}

// The crossfader buttons jump to their end at once, or with "Fade" only mark the end to go to.
TEST_F(MixerTest, CentreButtonsWithAndWithoutFade) {
    master->Chk_Fade->setChecked(true);
    master->Cmd_Center[2]->click();
    EXPECT_EQ(master->HScroll1->value(), 0);
    EXPECT_FALSE(master->Cmd_Center[2]->isEnabled());

    master->Chk_Fade->setChecked(false);
    master->Cmd_Center_Click(2);
    EXPECT_EQ(master->HScroll1->value(), 100);
    EXPECT_TRUE(master->Cmd_Center[2]->isEnabled());
    EXPECT_EQ(Deck(1).MaxVol, 50) << "the jump applies the law (Deck 2's slider in the middle)";
    master->Cmd_Center[1]->click();
    EXPECT_EQ(master->HScroll1->value(), 0);
    EXPECT_EQ(Deck(0).MaxVol, 50);
    EXPECT_EQ(Deck(1).MaxVol, 0);
}

// The master slider goes to the engine and the label shows what the engine reads back.
TEST_F(MixerTest, MasterVolume) {
    master->VScroll1->setValue(50);
    EXPECT_EQ(Engine().GetMasterVolume(0), 50);
    EXPECT_EQ(master->lblMasterVol->text(), "50%");
    master->VScroll1->setValue(0);
    EXPECT_EQ(master->lblMasterVol->text(), "0%");
}

// The engine's events reach the deck of the reporting player; other player numbers are
// ignored.
TEST_F(MixerTest, EventsReachTheirDeck) {
    for (int p = 0; p < 4; ++p)
        Deck(p).Pic_Level->resize(24, 131);
    emit Engine().VUMeterValueChange(1, 100, 100);
    emit Engine().VUMeterValueChange(7, 100, 100);
    emit Engine().VUMeterValueChange(-1, 100, 100);
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(Deck(p).Pic_Level->Picture().pixelColor(1, 65) == QBColor(2), p == 1)
            << "deck " << p;

    Deck(3).Filename = "/music/gone.mp3";
    emit Engine().SoundLoadFailed(3, "/music/gone.mp3", "the file does not exist");
    emit Engine().SoundLoadFailed(9, "/music/gone.mp3", "no such player");
    EXPECT_EQ(Deck(3).Filename, "");
    EXPECT_EQ(Deck(3).LoadFailure(), "the file does not exist");
    // A late failure for a song the deck no longer holds leaves its new song alone.
    Deck(0).Filename = "/music/new.mp3";
    emit Engine().SoundLoadFailed(0, "/music/old.mp3", "not an MP3 file");
    EXPECT_EQ(Deck(0).Filename, "/music/new.mp3");
    EXPECT_TRUE(Deck(0).LoadFailure().isEmpty());

    // A song that ends shows the Play image again.
    Deck(0).Cmd_Play->setIcon(Deck(0).Pic_Pause);
    emit Engine().SoundDone(0);
    emit Engine().SoundDone(4);
    EXPECT_EQ(Deck(0).Cmd_Play->icon().cacheKey(), Deck(0).Pic_Play.cacheKey());
}

// "Click here for web site" opens the about page that ships beside the program.
TEST_F(MixerTest, WebSiteLabelOpensAboutPage) {
    std::vector<QUrl> opened;
    const DocumentOpener previous = SetDocumentOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    emit master->Label4->clicked();
    SetDocumentOpener(previous);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(folder / "spinx-about.html")));
}

} // namespace
} // namespace spinx::test
