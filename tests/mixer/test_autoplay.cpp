// Automatic play: the gradual crossfade, Auto Fade, and whole unattended sets on the real engine,
// stepped tick by tick with 100 ms of sound rendered per tick.
#include "desktest/DeskTest.h"
#include "mixer/Mod_AutoPlay.h"
#include "mixer/Mod_Crossfade.h"
#include "shell/ListBox.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace spinx::test {
namespace {

// The crossfader walks 3 a step toward the pending end (Deck B's when both are pending) and
// reports arrival with a step of 0.
TEST(AutoPlayRules, FadeStep) {
    EXPECT_EQ(FadeStep(0, false, true), 3);
    EXPECT_EQ(FadeStep(99, false, true), 1);
    EXPECT_EQ(FadeStep(100, false, true), 0);
    EXPECT_EQ(FadeStep(50, true, true), 3);
    EXPECT_EQ(FadeStep(100, true, false), -3);
    EXPECT_EQ(FadeStep(2, true, false), -2);
    EXPECT_EQ(FadeStep(40, false, false), 0);
}

// The waiting deck starts only once the playing one is strictly inside its last stretch, and a
// deck that plays already is never started.
TEST(AutoPlayRules, WhichDeckStarts) {
    const DeckReading waiting{3, 0, 200000, 10000};
    EXPECT_EQ(WhichDeckStarts({1, 191000, 200000, 10000}, waiting), AutoStart::DeckB);
    EXPECT_EQ(WhichDeckStarts({1, 190000, 200000, 10000}, waiting), AutoStart::None);
    EXPECT_EQ(WhichDeckStarts({2, 199000, 200000, 10000}, waiting), AutoStart::None);
    EXPECT_EQ(WhichDeckStarts({1, 199000, 200000, 10000}, {1, 5000, 200000, 10000}),
              AutoStart::None);
    EXPECT_EQ(WhichDeckStarts({2, 0, 200000, 10000}, {1, 195000, 200000, 10000}), AutoStart::DeckA);
    EXPECT_EQ(WhichDeckStarts({1, 2000000000, 2000000000, 0}, waiting), AutoStart::None);
}

class AutoPlayTest : public DeskTest {
  protected:
    void SetUp() override {
        DeskTest::SetUp();
        // The test steps time itself.
        master->Timer1->stop();
    }

    // One tick of the mixer after 100 ms of sound, with any loads it started finished.
    void Tick() {
        Render(100);
        master->Timer1_Timer();
        Settle();
    }

    bool Playing(int player) { return Engine().GetPlayerStatus(player) == kPlaying; }
    // The loudest sample of the player's last few milliseconds of output, after its gains.
    float RecentPeak(int player) {
        std::vector<float> recent(2 * 512);
        const int frames = Engine().CopyRecentOutput(player, recent.data(), 512);
        float peak = 0;
        for (int i = 0; i < 2 * frames; ++i)
            peak = std::max(peak, std::abs(recent[i]));
        return peak;
    }
    void SetEndPos(int32_t ms) {
        master->Overlap->setValue(ms);
        Deck(0).EndPos = ms;
        Deck(1).EndPos = ms;
    }
};

// Checking Auto Fade checks and locks Fade; unchecking unlocks it and leaves it checked. A
// finished song takes nothing from the playlist with Auto Play off; with it on, it takes only
// the top row, whatever rows the user has selected, and loads it without starting it.
TEST_F(AutoPlayTest, AutoFadeAndRefill) {
    master->Chk_AutoFade->setChecked(true);
    EXPECT_TRUE(master->Chk_Fade->isChecked());
    EXPECT_FALSE(master->Chk_Fade->isEnabled());
    master->Chk_AutoFade->setChecked(false);
    EXPECT_TRUE(master->Chk_Fade->isEnabled());
    EXPECT_TRUE(master->Chk_Fade->isChecked());

    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        master->AddFile(folder / name);
    master->Aspinx1_SoundDone(2);
    master->Timer1_Timer();
    EXPECT_EQ(master->List1->count(), 3);
    EXPECT_EQ(Deck(0).Filename, "");

    master->Chk_AutoPlay->setChecked(true);
    master->List1->setCurrentRow(2);
    master->List1->item(1)->setSelected(true);
    master->Aspinx1_SoundDone(2);
    EXPECT_EQ(Deck(2).Filename, folder / "a.mp3");
    EXPECT_FALSE(Playing(2));
    ASSERT_EQ(master->List1->count(), 2);
    EXPECT_EQ(master->List1->item(0)->text(), "b");
    EXPECT_EQ(master->List1->item(1)->text(), "c");
}

// A whole set: the first song plays in Deck A while the second waits in Deck B; Deck B starts
// on the first tick inside Deck A's last stretch and the crossfader walks over 3 a tick, the
// buttons coming back the tick after it arrives; the song after Deck A's end will not load, so
// the next one takes its place and waits; Deck B's last stretch starts it and the fade goes
// back. Rows leave the list as they are loaded.
TEST_F(AutoPlayTest, UnattendedSet) {
    const std::string one = MakeMp3(folder.path(), "one.mp3", 5.0);
    const std::string two = MakeMp3(folder.path(), "two.mp3", 5.0);
    const std::string bad = WriteFile(folder / "bad.mp3", "these are not MPEG frames\n");
    const std::string three = MakeMp3(folder.path(), "three.mp3", 5.0);
    for (const std::string& song : {one, two, bad, three})
        master->AddFile(song);
    SetEndPos(1000);
    master->Chk_AutoPlay->setChecked(true);
    master->Chk_AutoFade->setChecked(true);

    Tick();
    EXPECT_EQ(Deck(0).Filename, one);
    EXPECT_EQ(Deck(1).Filename, two);
    EXPECT_TRUE(Playing(0));
    EXPECT_FALSE(Playing(1));
    EXPECT_EQ(master->List1->count(), 2);

    for (int tick = 0; !Playing(1); ++tick) {
        ASSERT_LT(tick, 60) << "Deck B never started";
        Render(100);
        const int32_t left = Engine().GetSoundDuration(0) - Engine().GetSoundPosition(0);
        master->Timer1_Timer();
        Settle();
        EXPECT_EQ(Playing(1), left < Deck(0).EndPos) << left << " ms left in Deck A";
    }
    EXPECT_FALSE(master->Cmd_Center[2]->isEnabled());
    Render(40); // past the first buffer, across which a starting player's gain glides
    EXPECT_LT(RecentPeak(1), 0.001f) << "Deck B starts from its crossfader share, silence";
    EXPECT_GT(RecentPeak(0), 0.1f);
    std::vector<int> walk;
    while (master->HScroll1->value() < 100 && walk.size() < 40) {
        Tick();
        walk.push_back(master->HScroll1->value());
        EXPECT_FALSE(master->Cmd_Center[2]->isEnabled());
    }
    ASSERT_EQ(walk.size(), 34u);
    EXPECT_EQ(walk[0], 3);
    EXPECT_EQ(walk[32], 99);
    Tick();
    EXPECT_TRUE(master->Cmd_Center[1]->isEnabled() && master->Cmd_Center[2]->isEnabled());
    EXPECT_EQ(Deck(0).MaxVol, 0);
    EXPECT_EQ(Deck(1).MaxVol, CrossfadeVolume(100, Deck(1).VScroll2->value()));

    // Deck A's song has ended during the walk; the bad song was skipped for the third.
    EXPECT_EQ(Deck(0).Filename, three);
    EXPECT_FALSE(Playing(0));
    EXPECT_EQ(master->List1->count(), 0);
    EXPECT_TRUE(Deck(0).windowTitle().contains(QStringLiteral("bad.mp3")))
        << "the deck shows why the song was passed over";

    for (int tick = 0; !Playing(0); ++tick) {
        ASSERT_LT(tick, 40) << "Deck A never started again";
        Tick();
    }
    EXPECT_FALSE(master->Cmd_Center[1]->isEnabled());
    for (int tick = 0; master->HScroll1->value() > 0; ++tick) {
        ASSERT_LT(tick, 40);
        Tick();
    }
    Tick();
    EXPECT_TRUE(master->Cmd_Center[1]->isEnabled());
    EXPECT_EQ(Deck(0).MaxVol, CrossfadeVolume(100, Deck(0).VScroll2->value()));
    EXPECT_EQ(Deck(1).MaxVol, 0);
}

// A set never stalls: a first song that will not load is replaced and still started, and with
// no overlap at all (end markers of 0) the waiting deck starts when the playing song ends.
// A single song goes to Deck A alone.
TEST_F(AutoPlayTest, NeverStalls) {
    const std::string bad = WriteFile(folder / "bad.mp3", "these are not MPEG frames\n");
    const std::string one = MakeMp3(folder.path(), "one.mp3", 1.0);
    const std::string two = MakeMp3(folder.path(), "two.mp3", 1.0);
    for (const std::string& song : {bad, one, two})
        master->AddFile(song);
    SetEndPos(0);
    master->Chk_AutoPlay->setChecked(true);

    Tick();
    EXPECT_EQ(Deck(0).Filename, two);
    EXPECT_EQ(Deck(1).Filename, one);
    EXPECT_TRUE(Playing(0));
    EXPECT_FALSE(Playing(1));
    for (int tick = 0; Playing(0); ++tick) {
        ASSERT_LT(tick, 30) << "Deck A's song never ended";
        Tick();
    }
    EXPECT_TRUE(Playing(1));

    // The list is empty now: a finished deck keeps its song and plays it again.
    for (int tick = 0; Playing(1); ++tick) {
        ASSERT_LT(tick, 30);
        Tick();
    }
    EXPECT_TRUE(Playing(0));
    EXPECT_EQ(Deck(0).Filename, two);
}

// With two empty decks and one song, Deck A gets it and starts; Deck B stays empty.
TEST_F(AutoPlayTest, OneSong) {
    const std::string one = MakeMp3(folder.path(), "one.mp3", 1.0);
    master->AddFile(one);
    master->Chk_AutoPlay->setChecked(true);
    Tick();
    Tick();
    EXPECT_EQ(Deck(0).Filename, one);
    EXPECT_TRUE(Playing(0));
    EXPECT_EQ(Deck(1).Filename, "");
    EXPECT_EQ(master->List1->count(), 0);
}

} // namespace
} // namespace spinx::test
