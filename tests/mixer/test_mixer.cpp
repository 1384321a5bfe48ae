// The mixer: its start-up, the engine's events, deck assignment, the crossfader, the master
// volume, and a whole unattended set played through the desk on the real engine.
#include "desktest/DeskTest.h"
#include "engine/Aspinx.h"
#include "mixer/CrossfadeLaw.h"
#include "mixer/Mod_StartDoc.h"
#include "mixer/Mod_Version.h"
#include "spinx/Version.h"
#include "widgets/ClickLabel.h"
#include "widgets/ListBox.h"
#include "widgets/PictureBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace spinx::test {
namespace {

class MixerTest : public DeskTest {
  protected:
    void SetUp() override {
        DeskTest::SetUp();
        // The tests step time themselves.
        Ctl<QTimer>(*master, "Timer1").stop();
    }
    std::vector<bool> Enabled(const char* group) {
        std::vector<bool> states;
        for (int i = 0; i < 4; ++i)
            states.push_back(Ctl<QRadioButton>(*master, group, i).isEnabled());
        return states;
    }
    QSlider& Crossfader() { return Ctl<QSlider>(*master, "HScroll1"); }
    QPushButton& Centre(int index) { return Ctl<QPushButton>(*master, "Cmd_Center", index); }
    QCheckBox& Check(const char* name) { return Ctl<QCheckBox>(*master, name); }
    int Volume(int deck) { return Ctl<QSlider>(Deck(deck), "VScroll2").value(); }
};

// The version reads major, two-digit minor and, when given, a four-digit revision; the
// crossfade law gives each deck its share capped by its own slider, never below 0, rounded
// half to even.
TEST(MixerRules, VersionAndCrossfadeLaw) {
    EXPECT_EQ(VersionString(1, 2, 34), "1.02.0034");
    EXPECT_EQ(VersionString(1, 2), "1.02");
    EXPECT_EQ(VersionString(10, 123, 12345), "10.123.12345");
    EXPECT_EQ(CrossfadeVolume(70, 100), 70);
    EXPECT_EQ(CrossfadeVolume(50, -100), 0);
    EXPECT_EQ(CrossfadeVolume(100, 1), 50);
    EXPECT_EQ(CrossfadeVolume(100, 3), 52);
    EXPECT_EQ(CrossfadeVolume(-5, 100), 0);
}

// After start-up: four decks with IDs matching their slots in the creation order, the first
// two shown, Deck 1 as A and Deck 2 as B with each disabled in the other group, the title with
// our version and the master volume read back from the engine.
TEST_F(MixerTest, StartUpState) {
    const std::vector<Frm_TurnTable*> loaded = LoadedTurnTables(main->Area());
    ASSERT_EQ(loaded.size(), 4u);
    for (int16_t p = 0; p < 4; ++p) {
        EXPECT_EQ(loaded[p], &Deck(p));
        EXPECT_EQ(Deck(p).ID, p);
        EXPECT_EQ(Deck(p).windowTitle(), QStringLiteral("Deck %1").arg(p));
        EXPECT_EQ(!Deck(p).parentWidget()->isHidden(), p < 2) << "deck " << p;
    }
    EXPECT_TRUE(Ctl<QRadioButton>(*master, "Opt_DeckA", 0).isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(*master, "Opt_DeckB", 1).isChecked());
    EXPECT_EQ(Enabled("Opt_DeckA"), (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(Enabled("Opt_DeckB"), (std::vector<bool>{false, true, true, true}));

    const QString title = Ctl<QLabel>(*master, "Lbl_Title").text();
    EXPECT_EQ(title.section('\n', 0, 0).toStdString(),
              "Spinx V" +
                  VersionString(SPINX_VERSION_MAJOR, SPINX_VERSION_MINOR, SPINX_VERSION_PATCH));
    EXPECT_EQ(title.count('\n'), 2);
    EXPECT_EQ(Ctl<QLabel>(*master, "lblMasterVol").text(), "100%");
    Ctl<QSlider>(*master, "VScroll1").setValue(50);
    EXPECT_EQ(Engine().GetMasterVolume(0), 50);
    EXPECT_EQ(Ctl<QLabel>(*master, "lblMasterVol").text(), "50%");
}

// Moving the crossfader sets Deck A and Deck B from the law and leaves each deck's MaxVol equal
// to what was sent; other decks are not touched, and a new assignment is served next time. The
// centre buttons jump to their end, or with "Fade" only mark the end to go to.
TEST_F(MixerTest, CrossfaderDrivesTheAssignedPair) {
    Ctl<QSlider>(Deck(0), "VScroll2").setValue(100);
    Ctl<QSlider>(Deck(1), "VScroll2").setValue(3);
    Ctl<QSlider>(Deck(2), "VScroll2").setValue(100);
    Deck(2).MaxVol = -7;
    Crossfader().setValue(30);
    EXPECT_EQ(Deck(0).MaxVol, 70);
    EXPECT_EQ(Deck(1).MaxVol, 30);
    EXPECT_EQ(Deck(2).MaxVol, -7);

    Ctl<QRadioButton>(*master, "Opt_DeckA", 2).setChecked(true);
    EXPECT_EQ(Enabled("Opt_DeckB"), (std::vector<bool>{true, true, false, true}));
    EXPECT_EQ(Deck(2).MaxVol, -7) << "a new assignment waits for the crossfader";
    Crossfader().setValue(40);
    EXPECT_EQ(Deck(2).MaxVol, 60);
    EXPECT_EQ(Deck(0).MaxVol, 70) << "Deck 1 is no longer mixed";
    Ctl<QRadioButton>(*master, "Opt_DeckA", 0).setChecked(true);

    Check("Chk_Fade").setChecked(true);
    Centre(2).click();
    EXPECT_EQ(Crossfader().value(), 40);
    EXPECT_FALSE(Centre(2).isEnabled());
    Check("Chk_Fade").setChecked(false);
    master->Cmd_Center_Click(2);
    EXPECT_EQ(Crossfader().value(), 100);
    EXPECT_TRUE(Centre(2).isEnabled());
    EXPECT_EQ(Deck(0).MaxVol, 0);
    EXPECT_EQ(Deck(1).MaxVol, 52) << "ceiling 51.5 goes to the even 52";
}

// The engine's events reach the deck of the reporting player; other player numbers are
// ignored. A late failure for a song the deck no longer holds leaves its new song alone.
TEST_F(MixerTest, EventsReachTheirDeck) {
    for (int p = 0; p < 4; ++p)
        Ctl<PictureBox>(Deck(p), "Pic_Level").resize(24, 131);
    emit Engine().VUMeterValueChange(1, 100, 100);
    emit Engine().VUMeterValueChange(7, 100, 100);
    emit Engine().VUMeterValueChange(-1, 100, 100);
    for (int p = 0; p < 4; ++p) {
        const QImage& level = Ctl<PictureBox>(Deck(p), "Pic_Level").Picture();
        EXPECT_EQ(level.pixelColor(1, 65) == QBColor(2), p == 1) << "deck " << p;
    }

    Deck(3).Filename = "/music/gone.mp3";
    emit Engine().SoundLoadFailed(3, "/music/gone.mp3", "the file does not exist");
    emit Engine().SoundLoadFailed(9, "/music/gone.mp3", "no such player");
    EXPECT_EQ(Deck(3).Filename, "");
    EXPECT_EQ(Deck(3).LoadFailure(), "the file does not exist");
    Deck(0).Filename = "/music/new.mp3";
    emit Engine().SoundLoadFailed(0, "/music/old.mp3", "not an MP3 file");
    EXPECT_EQ(Deck(0).Filename, "/music/new.mp3");
    EXPECT_TRUE(Deck(0).LoadFailure().isEmpty());

    // A song that ends shows the Play image again.
    QToolButton& play = Ctl<QToolButton>(Deck(0), "Cmd_Play");
    Deck(0).Cmd_Play_Click();
    EXPECT_TRUE(ShowsPause(play));
    emit Engine().SoundDone(0);
    emit Engine().SoundDone(4);
    EXPECT_FALSE(ShowsPause(play));
}

// "Click here for web site" opens the about page that ships beside the program.
TEST_F(MixerTest, WebSiteLabelOpensAboutPage) {
    std::vector<QUrl> opened;
    const DocumentOpener previous = SetDocumentOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    emit Ctl<ClickLabel>(*master, "Label4").clicked();
    SetDocumentOpener(previous);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(folder / "spinx-about.html")));
}

// Auto play through the desk: Auto Fade checks and locks Fade; the first tick loads Deck A and
// starts it and loads Deck B, taking only the top rows whatever the user selected; Deck B
// starts from its crossfader share (silence) inside Deck A's last stretch and the crossfader
// walks over 3 a tick; the song that will not load is replaced, and the deck shows why.
TEST_F(MixerTest, UnattendedSet) {
    const std::string one = MakeMp3(folder.path(), "one.mp3", 5.0);
    const std::string two = MakeMp3(folder.path(), "two.mp3", 5.0);
    const std::string bad = WriteFile(folder / "bad.mp3", "these are not MPEG frames\n");
    const std::string three = MakeMp3(folder.path(), "three.mp3", 5.0);
    for (const std::string& song : {one, two, bad, three})
        master->AddFile(song);
    ListBox& list = Ctl<ListBox>(*master, "List1");
    list.item(3)->setSelected(true);
    Ctl<QSlider>(*master, "Overlap").setValue(1000);
    Check("Chk_AutoPlay").setChecked(true);
    Check("Chk_AutoFade").setChecked(true);
    EXPECT_TRUE(Check("Chk_Fade").isChecked());
    EXPECT_FALSE(Check("Chk_Fade").isEnabled());

    const auto playing = [&](int p) { return Engine().GetPlayerStatus(p) == kPlaying; };
    const auto tick = [&] {
        Render(100);
        master->Timer1_Timer();
        Settle();
    };
    tick();
    EXPECT_EQ(Deck(0).Filename, one);
    EXPECT_EQ(Deck(1).Filename, two);
    EXPECT_TRUE(playing(0));
    EXPECT_FALSE(playing(1));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.item(1)->text(), "three");

    for (int t = 0; !playing(1); ++t) {
        ASSERT_LT(t, 60) << "Deck B never started";
        tick();
    }
    EXPECT_LT(Engine().GetSoundDuration(0) - Engine().GetSoundPosition(0), 1000);
    Render(40); // past the first buffer, across which a starting player's gain glides
    std::vector<float> recent(2 * 512);
    const int frames = Engine().CopyRecentOutput(1, recent.data(), 512);
    EXPECT_LT(
        std::abs(*std::max_element(recent.begin(), recent.begin() + 2 * frames,
                                   [](float a, float b) { return std::abs(a) < std::abs(b); })),
        0.001f)
        << "Deck B starts from its crossfader share, silence";
    tick();
    EXPECT_EQ(Crossfader().value(), 3);
    for (int t = 0; Crossfader().value() < 100 || !Centre(2).isEnabled(); ++t) {
        ASSERT_LT(t, 40);
        tick();
    }
    EXPECT_EQ(Deck(1).MaxVol, CrossfadeVolume(100, Volume(1)));
    EXPECT_EQ(Deck(0).Filename, three);
    EXPECT_FALSE(playing(0));
    EXPECT_TRUE(Deck(0).windowTitle().contains(QStringLiteral("bad.mp3")));
    EXPECT_EQ(list.count(), 0);
}

} // namespace
} // namespace spinx::test
