// The mixer: its start-up, the engine's events, deck assignment, the crossfader, the master
// volume, and a whole unattended set played through the desk on the real engine.
#include "deck/DeckDisplay.h"
#include "deck/SongSettings.h"
#include "desktest/DeckDriving.h"
#include "desktest/DeskTest.h"
#include "engine/Aspinx.h"
#include "engine/GainLaw.h"
#include "engine/analysis/BackgroundScan.h"
#include "library/SongTable.h"
#include "mixer/CrossfadeLaw.h"
#include "mixer/M3u.h"
#include "mixer/Mod_StartDoc.h"
#include "mixer/Mod_Version.h"
#include "mixer/SetSettings.h"
#include "spinx/Version.h"
#include "support/FileSizeLimit.h"
#include "support/Mod_INI.h"
#include "widgets/ClickLabel.h"
#include "widgets/ListBox.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace spinx::test {
namespace {

// The peak of the player's most recent output, in dB.
double RecentPeakDb(Aspinx& engine, int player) {
    std::vector<float> recent(2 * 2048);
    const int frames = engine.CopyRecentOutput(player, recent.data(), 2048);
    float peak = 1e-9f;
    for (int i = 0; i < 2 * frames; ++i)
        peak = std::max(peak, std::abs(recent[i]));
    return 20 * std::log10(peak);
}

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
// half to even. A settings flag reads yes/no words, and a Target Loudness that is no loudness
// falls back to -14.
TEST(MixerRules, VersionCrossfadeLawAndSettings) {
    EXPECT_EQ(VersionString(1, 2, 34), "1.02.0034");
    EXPECT_EQ(VersionString(1, 2), "1.02");
    EXPECT_EQ(CrossfadeVolume(70, 100), 70);
    EXPECT_EQ(CrossfadeVolume(100, 1), 50);
    EXPECT_EQ(CrossfadeVolume(100, 3), 52);
    EXPECT_EQ(CrossfadeVolume(-5, 100), 0);
    EXPECT_FALSE(ParseSettingsFlag(" No", true));
    EXPECT_EQ(ParseTargetLoudness("-18.5"), -18.5);
    EXPECT_EQ(ParseTargetLoudness("loud"), -14);
    EXPECT_EQ(ParseTargetLoudness("6"), -14);
}

// After start-up: four decks with IDs matching their slots in the creation order, the first
// two shown, Deck 1 as A and Deck 2 as B with each disabled in the other group, the title with
// our version and the master volume read back from the engine; "Click here for web site"
// opens the about page that ships beside the program.
TEST_F(MixerTest, StartUpState) {
    const std::vector<Frm_TurnTable*> loaded = master->Decks();
    ASSERT_EQ(loaded.size(), 4u);
    for (int16_t p = 0; p < 4; ++p) {
        EXPECT_EQ(loaded[p], &Deck(p));
        EXPECT_EQ(Deck(p).ID(), p);
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
    Ctl<QSlider>(*master, "VScroll1").setValue(50);
    EXPECT_EQ(Engine().MasterVolume(), 50);
    EXPECT_EQ(Ctl<QLabel>(*master, "lblMasterVol").text(), "50%");

    std::vector<QUrl> opened;
    const DocumentOpener previous =
        SetDocumentOpener([&](const QUrl& url) { return opened.push_back(url), true; });
    emit Ctl<ClickLabel>(*master, "Label4").clicked();
    SetDocumentOpener(previous);
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(
                          QString::fromStdString(folder / "spinx-about.html"))});
}

// From the first sound each deck of the pair plays at what its slider and the crossfader law
// give, and keeps doing so as the crossfader, the centre buttons and a deck's slider move; each
// deck's MaxVol is what was sent, other decks are not touched, and a new assignment is served
// at the next move. With "Fade" a centre button only marks the end to go to.
TEST_F(MixerTest, CrossfaderDrivesThePair) {
    const std::string song = MakeMp3(folder.path(), "tone.mp3", 3.0);
    for (int p = 0; p < 2; ++p) {
        LoadSong(scripted, Deck(p), Engine(), song);
        Deck(p).Cmd_Play_Click();
    }
    // The tone's peak is 0.5: each deck's recent output peaks at 0.5 times its fader gain.
    const auto expectGains = [&](const char* after) {
        Render(120);
        for (int p = 0; p < 2; ++p) {
            const int share = p == 0 ? 100 - Crossfader().value() : Crossfader().value();
            EXPECT_NEAR(std::pow(10, RecentPeakDb(Engine(), p) / 20),
                        0.5f * engine::FaderGain(CrossfadeVolume(share, Volume(p))), 0.035f)
                << "deck " << p << " " << after;
        }
    };
    expectGains("at start");
    for (int p = 0; p < 3; ++p)
        Ctl<QSlider>(Deck(p), "VScroll2").setValue(p == 1 ? 3 : 100);
    Crossfader().setValue(30);
    expectGains("at 30");
    Ctl<QRadioButton>(*master, "Opt_DeckA", 2).setChecked(true);
    EXPECT_EQ(master->Mixer().DeckA(), 2);
    EXPECT_EQ(Enabled("Opt_DeckB"), (std::vector<bool>{true, true, false, true}));
    Ctl<QRadioButton>(*master, "Opt_DeckA", 0).setChecked(true);
    Crossfader().setValue(40);

    Check("Chk_Fade").setChecked(true);
    Centre(2).click();
    EXPECT_EQ(Crossfader().value(), 40);
    EXPECT_FALSE(Centre(2).isEnabled());
    Check("Chk_Fade").setChecked(false);
    master->Cmd_Center_Click(2);
    EXPECT_TRUE(Centre(2).isEnabled());
    EXPECT_EQ(Deck(0).Controller().MaxVol().value, 0);
    expectGains("at Deck B's end");
    Ctl<QSlider>(Deck(1), "VScroll2").setValue(100);
    expectGains("with Deck B's slider at the top");
}

// The engine's level events reach the meter of the reporting player's deck; other player
// numbers are ignored.
TEST_F(MixerTest, EventsReachTheirDeck) {
    for (int p = 0; p < 4; ++p)
        Ctl<PictureBox>(Deck(p), "Pic_Level").resize(24, 131);
    emit Engine().VUMeterValueChange(1, 100, 100);
    emit Engine().VUMeterValueChange(7, 100, 100);
    for (int p = 0; p < 4; ++p) {
        const QImage& level = Ctl<PictureBox>(Deck(p), "Pic_Level").Picture();
        EXPECT_EQ(level.pixelColor(1, 65) == QColor(kLevelBarRgb), p == 1) << "deck " << p;
    }
}

// Auto play through the mixer window: Auto Fade checks and locks Fade; the list loses the top
// rows as auto play takes them, whatever the user selected; Deck B starts silent from its
// crossfader share and the crossfader is shown walking to it; a song that will not load is
// named on the mixer for a few seconds.
TEST_F(MixerTest, UnattendedSet) {
    const std::string one = MakeMp3(folder.path(), "one.mp3", 5.0);
    const std::string bad = WriteFile(folder / "bad.mp3", "these are not MPEG frames\n");
    for (const std::string& song : {one, one, bad, one})
        master->AddFile(song);
    ListBox& list = Ctl<ListBox>(*master, "List1");
    list.item(3)->setSelected(true);
    Ctl<QSlider>(*master, "Overlap").setValue(1000);
    Check("Chk_AutoPlay").setChecked(true);
    Check("Chk_AutoFade").setChecked(true);
    EXPECT_TRUE(Check("Chk_Fade").isChecked() && !Check("Chk_Fade").isEnabled());

    const auto tick = [&] {
        Render(100);
        master->Timer1_Timer();
        Settle();
    };
    tick();
    ASSERT_EQ(list.count(), 2);
    EXPECT_TRUE(list.item(1)->isSelected()) << "the user's selection stays on its song";
    for (int t = 0; Engine().GetPlayerStatus(1) != PlayerStatus::Playing; ++t) {
        ASSERT_LT(t, 60) << "Deck B never started";
        tick();
    }
    Render(100); // past the first buffer, across which a starting player's gain glides
    EXPECT_LT(RecentPeakDb(Engine(), 1), -60) << "Deck B starts from its crossfader share";
    for (int t = 0; Crossfader().value() < 100; ++t) {
        ASSERT_LT(t, 40);
        tick();
    }
    QLabel& skipped = Ctl<QLabel>(*master, "Lbl_Skipped");
    EXPECT_TRUE(skipped.text().startsWith(QStringLiteral("Skipped bad.mp3: ")))
        << skipped.text().toStdString();
    EXPECT_FALSE(skipped.isHidden());
    EXPECT_EQ(list.count(), 0);
    for (int t = 0; t < 60; ++t)
        tick();
    EXPECT_TRUE(skipped.isHidden()) << "the note goes after a few seconds";
}

// Frames in a sound file, or -1 when it does not open.
sf_count_t SoundFileFrames(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return -1;
    sf_close(file);
    return info.frames;
}

// Two songs 10 dB apart play 10 dB apart with "Level songs" off and within 1 dB of each other
// with it on; the loudness measured in the background is kept in the song table, and the box
// in the settings file.
TEST_F(MixerTest, LevelSongs) {
    const std::string loud = MakeMp3(folder.path(), "loud.mp3", 4.0);
    const std::string quiet = MakeMp3(folder.path(), "quiet.mp3", 4.0, "vol 0.316");
    LoadSong(scripted, Deck(0), Engine(), loud);
    LoadSong(scripted, Deck(1), Engine(), quiet);
    ASSERT_TRUE(master->LoudnessScanner().WaitIdle(20000));
    QCoreApplication::processEvents(); // the scan's reports
    EXPECT_FALSE(Stored(quiet, songcol::Loudness).IsNull());
    Crossfader().setValue(50);
    for (int p = 0; p < 2; ++p)
        Deck(p).Cmd_Play_Click();
    const auto apart = [&] {
        Render(150);
        return RecentPeakDb(Engine(), 0) - RecentPeakDb(Engine(), 1);
    };
    EXPECT_NEAR(apart(), 10, 0.5) << "off";
    Check("Chk_Level").setChecked(true);
    EXPECT_NEAR(apart(), 0, 1) << "on";
    EXPECT_EQ(ReadINI("", "Level Songs", "", "Settings"), "Yes");
    Check("Chk_Level").setChecked(false);
    EXPECT_NEAR(apart(), 10, 0.5) << "off again";
}

// A song that auto play starts begins where its sound begins, unless "Skip Silence" is "No" in
// the settings file.
TEST_F(MixerTest, SkipSilenceSetting) {
    const std::string song = MakeMp3(folder.path(), "lead-in.mp3", 2.0, "pad 2 0");
    for (const bool skip : {true, false}) {
        if (!skip) {
            // The setting is read when the mixer is made.
            WriteINI("", "Skip Silence", "No", "Settings");
            main->close();
            DeskTest::SetUp();
            Ctl<QTimer>(*master, "Timer1").stop();
        }
        master->AddFile(song);
        Check("Chk_AutoPlay").setChecked(true);
        master->Timer1_Timer();
        Settle();
        for (int i = 0; i < 5000 && !Engine().GetWaveform(0); ++i)
            QThread::msleep(1);
        Render(100);
        master->Timer1_Timer();
        EXPECT_EQ(Engine().GetSoundPosition(0) > 1800, skip) << "skip " << skip;
    }
}

// File > Record Mix… records the master mix into the chosen file (the chosen format's extension
// added) while the mixer shows the time; the item then stops it, and File > Exit finalises a
// recording that runs. A file that cannot be made is a message, and nothing records.
TEST_F(MixerTest, RecordMix) {
    QAction& item = *main->findChild<QAction*>("Mnu_File_RecordMix");
    QLabel& time = Ctl<QLabel>(*master, "Lbl_Recording");
    scripted.Choose({folder / "no such folder/mix.flac"});
    item.trigger();
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_NE(scripted.messages[0].find("cannot be recorded"), std::string::npos);
    EXPECT_FALSE(master->IsRecording());

    LoadSong(scripted, Deck(0), Engine(), MakeMp3(folder.path(), "tone.mp3", 3.0));
    Deck(0).Cmd_Play_Click();
    scripted.Choose({folder / "set"}, 2);
    item.trigger();
    EXPECT_EQ(item.text(), "Stop &Recording");
    Render(1000);
    master->Timer1_Timer();
    EXPECT_TRUE(!time.isHidden() && time.text().contains("Recording 0:00:0"))
        << time.text().toStdString();
    item.trigger();
    EXPECT_EQ(item.text(), QStringLiteral("&Record Mix\u2026"));
    EXPECT_TRUE(time.isHidden());
    EXPECT_EQ(SoundFileFrames(folder / "set.wav"), Engine().SampleRate());

    scripted.Choose({folder / "exit.flac"});
    item.trigger();
    Render(500);
    scripted.replies.push_back(MsgResult::Yes); // a deck is playing
    main->Mnu_File_Exit_Click();
    EXPECT_EQ(SoundFileFrames(folder / "exit.flac"), 22050);
    EXPECT_EQ(scripted.messages.size(), 2u) << "nothing else to tell";
}

// A recording whose disk fills stops at the next tick, while the deck plays, with the reason
// and the file in one message; the label and the menu item are back to their idle state and
// the file opens with what was written.
TEST_F(MixerTest, RecordMixStopsWhenTheFileFails) {
    QAction& item = *main->findChild<QAction*>("Mnu_File_RecordMix");
    QLabel& time = Ctl<QLabel>(*master, "Lbl_Recording");
    LoadSong(scripted, Deck(0), Engine(), MakeMp3(folder.path(), "tone.mp3", 5.0));
    Deck(0).Cmd_Play_Click();
    const std::string path = folder / "full.wav";
    {
        const FileSizeLimit disk(96 * 1024);
        scripted.Choose({path}, 2);
        item.trigger();
        ASSERT_TRUE(master->IsRecording());
        Render(2000);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Engine().RecordingFailed() && std::chrono::steady_clock::now() < deadline)
            QThread::msleep(2);
    }
    EXPECT_TRUE(scripted.messages.empty()) << "nothing said before the tick";
    master->Timer1_Timer();
    EXPECT_FALSE(master->IsRecording());
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0], "The recording stopped early. The recording could not be "
                                    "written completely: File too large. The recording is in \"" +
                                        path + "\".");
    EXPECT_TRUE(time.isHidden());
    EXPECT_EQ(item.text(), QStringLiteral("&Record Mix\u2026"));
    EXPECT_EQ(Engine().GetPlayerStatus(0), PlayerStatus::Playing) << "the deck plays on";
    master->Timer1_Timer();
    EXPECT_EQ(scripted.messages.size(), 1u) << "told once";
}

#ifdef SPINX_RENDER
// The samples of a float WAV file.
std::vector<float> WavSamples(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    samples.resize(static_cast<std::size_t>(
        sf_read_float(file, samples.data(), static_cast<sf_count_t>(samples.size()))));
    sf_close(file);
    return samples;
}

// One desk: four songs with stored settings (a pitch, a curve, markers, none at all) played by
// the desk's auto play, tick by tick on the offline engine, and by spinx-render from the same
// song table give the same mix, sample for sample.
TEST_F(MixerTest, RenderedSetIsTheDesksSet) {
    std::vector<std::string> songs;
    const char* shapes[] = {"fade 1 6 1", "pitch 400", "tremolo 5 60", "pitch -300 vol 0.8"};
    for (int i = 0; i < 4; ++i)
        songs.push_back(
            MakeMp3(folder.path(), "song" + std::to_string(i) + ".mp3", 5.0 + i * 0.7, shapes[i]));
    EqGains curve{};
    curve[1] = 60;
    curve[7] = -80;
    ASSERT_TRUE(StoreSong(songs[0], 20, 1100, EqGains{}));
    ASSERT_TRUE(StoreSong(songs[1], -30, 1000, curve));
    ASSERT_TRUE(StoreSong(songs[2], 0, 1000, EqGains{}));
    ASSERT_TRUE(StoreMarkers(songs[2], 700, 2500));
    const std::string list = WriteFile(folder / "set.m3u", M3uText(folder.path(), songs));

    // The renderer first: it reads a copy of the song table and leaves it as it was.
    const std::string rendered = folder / "rendered.wav";
    const std::string command = std::string(SPINX_RENDER) + " '" + list + "' '" + rendered +
                                "' --database '" + SongDatabasePath() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);

    for (const std::string& song : songs)
        master->AddFile(song);
    Ctl<QSlider>(*master, "Overlap").setValue(4000); // the renderer's default
    master->Mixer().SetEachSongOnce(true);
    Check("Chk_AutoFade").setChecked(true);
    Check("Chk_AutoPlay").setChecked(true);
    const int frames = Engine().SampleRate() / 10;
    std::vector<float> buffer(2 * static_cast<std::size_t>(frames)), desk;
    for (int tick = 0; tick < 600; ++tick) {
        master->Timer1_Timer();
        master->Mixer().Settle(5000);
        if (master->Mixer().Finished()) break;
        Engine().RenderOffline(buffer.data(), frames);
        desk.insert(desk.end(), buffer.begin(), buffer.end());
    }
    const std::vector<float> set = WavSamples(rendered);
    ASSERT_EQ(set.size(), desk.size());
    std::size_t differ = 0;
    for (std::size_t i = 0; i < set.size(); ++i)
        differ += set[i] != desk[i];
    EXPECT_EQ(differ, 0u) << "of " << set.size() << " samples";
    EXPECT_GT(set.size(), 2u * 44100 * 12) << "the set plays the songs, overlapped";
}
#endif

} // namespace
} // namespace spinx::test
