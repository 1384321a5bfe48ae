// The desk's rules without windows: the deck and mixer controllers on the offline engine, a song
// table in a scratch program folder, songs made with sox and lame.
#include "deck/DeckRules.h"
#include "deck/SongSettings.h"
#include "desk/DeskControls.h"
#include "desk/MixerController.h"
#include "engine/EngineTestUtil.h"
#include "engine/analysis/BackgroundScan.h"
#include "library/Database.h"
#include "library/SongTable.h"
#include "support/KeptPlaylist.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace spinx::test {
namespace {

class DeskRules : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(PrepareSongDatabase(folder / "spinx.mdb")); }
    void TearDown() override { CloseSongDatabase(); }

    // One 100 ms step of the desk, as the set renderer takes it.
    void Step() {
        mixer.Tick();
        mixer.Settle(5000);
        std::vector<float> buffer(2 * 4410);
        engine.RenderOffline(buffer.data(), 4410);
    }
    DeckController& Load(PlayerId player, const std::string& path) {
        mixer.Deck(player).Load(path, LoadOrigin::Desktop);
        EXPECT_TRUE(mixer.Settle(5000));
        return mixer.Deck(player);
    }

    // Timers and posted reports need an application; Qt keeps a reference to argc.
    static std::unique_ptr<QCoreApplication> AppIfNone() {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance()) return nullptr;
        return std::make_unique<QCoreApplication>(argc, argv);
    }
    std::unique_ptr<QCoreApplication> app = AppIfNone();
    TempFolder folder;
    Aspinx engine{OutputKind::Offline};
    MixerController mixer{engine};
    Playlist& queue = mixer.Songs();
};

// The settings come back once the engine has the song, not before; changes wait to be saved,
// except a volume move to what the player already plays at; a saved song comes back as saved.
TEST_F(DeskRules, RecallAndSave) {
    const std::string song = ToneMp3("recall.mp3", 3.0, 440);
    DeckController& deck = mixer.Deck(0);
    deck.SetPitch({1200});
    deck.Load(song, LoadOrigin::Desktop);
    EXPECT_TRUE(deck.LoadPending());
    EXPECT_EQ(deck.Pitch().value, 1200) << "nothing is recalled before the engine has the song";
    ASSERT_TRUE(mixer.Settle(5000));
    EXPECT_EQ(deck.Pitch().value, 1000) << "a new song's row";
    EXPECT_EQ(deck.EndPos(), MixerController::kDefaultOverlapMs);
    EXPECT_NEAR(deck.MaxPos(), 3000, 60);
    EXPECT_FALSE(deck.SettingsUnsaved());

    deck.SetVolume({20});
    EXPECT_TRUE(deck.SettingsUnsaved());
    EXPECT_EQ(deck.MaxVol().value, 60);
    deck.SaveSettings();
    EXPECT_FALSE(deck.SettingsUnsaved());
    mixer.SetCrossfader({70}); // Deck A's share is 30, under its slider's ceiling of 60
    EXPECT_EQ(deck.MaxVol().value, 30);
    deck.SetVolume({-40});
    EXPECT_FALSE(deck.SettingsUnsaved()) << "the volume the player already plays at";
    EqGains curve{};
    curve[3] = 40;
    deck.SetCurve(curve);
    deck.SetPitch({900});
    EXPECT_TRUE(deck.SettingsUnsaved());
    deck.SaveSettings();
    deck.SetPitch({1000});
    Load(0, song);
    EXPECT_EQ(deck.Volume().value, -40);
    EXPECT_EQ(deck.Pitch().value, 900);
    EXPECT_EQ(deck.Curve(), curve);
    EXPECT_FALSE(deck.SettingsUnsaved());
}

// The end marker is read against the length the engine knows at each step (a long file's is
// corrected after it loads): an end in the first half of the song is pulled back to the overlap,
// or to the middle of a short song, and stored alone; the marker commands store the markers.
TEST_F(DeskRules, MarkersAndPullBack) {
    const std::string song = ToneMp3("markers.mp3", 3.0, 330);
    DeckController& deck = Load(0, song);
    deck.SetVolume({40}); // waits to be saved, and stays unsaved
    deck.SetMarker(MarkerCommand::EndHere, 500);
    EXPECT_EQ(deck.EndPos(), deck.MaxPos() / 2) << "a short song's end stays inside it";
    mixer.SetOverlap(1000);
    deck.SetMarker(MarkerCommand::EndHere, 200);
    EXPECT_EQ(deck.EndPos(), 1000) << "pulled back to the overlap";
    deck.SetMarker(MarkerCommand::StartHere, 1234);
    EXPECT_TRUE(deck.SettingsUnsaved());
    Load(0, song);
    EXPECT_EQ(deck.StartPos(), 1234);
    EXPECT_EQ(deck.EndPos(), 1000);
    EXPECT_EQ(deck.Volume().value, 0) << "only the markers were stored";
    EXPECT_EQ(engine.GetSoundPosition(0), 1234) << "a loaded song waits at its start marker";
    deck.SetMarker(MarkerCommand::Reset, 0);
    EXPECT_EQ(deck.StartPos(), 0);
    EXPECT_EQ(deck.EndPos(), 1000);
}

// Each deck of the pair gets its crossfader share under its slider's ceiling, a deck leaving the
// pair keeps its volume, a new one waits for the next move; a gradual fade walks 3 a step and
// ends on arrival, a direct one jumps; Auto Fade keeps the fade gradual.
TEST_F(DeskRules, CrossfaderPairAndFade) {
    mixer.Deck(1).SetVolume({-40}); // ceiling 30
    mixer.SetCrossfader({60});
    EXPECT_EQ(mixer.Deck(0).MaxVol().value, 40);
    EXPECT_EQ(mixer.Deck(1).MaxVol().value, 30);
    mixer.SetDeckB(0);
    EXPECT_EQ(mixer.DeckB(), 1) << "a deck is never on both sides";
    mixer.SetDeckA(2);
    EXPECT_EQ(mixer.Deck(2).MaxVol().value, 50) << "a new deck of the pair waits for a move";
    mixer.SetCrossfader({50});
    EXPECT_EQ(mixer.Deck(2).MaxVol().value, 50);
    EXPECT_EQ(mixer.Deck(0).MaxVol().value, 40) << "no longer mixed";

    mixer.SetGradual(true);
    mixer.CentreTo(FadeTarget::DeckB);
    std::vector<int> walk;
    for (int i = 0; i < 20 && mixer.Fading() != FadeTarget::None; ++i) {
        mixer.Tick();
        walk.push_back(mixer.Crossfader().value);
    }
    ASSERT_EQ(walk.size(), 18u) << "arrives in 17 steps, ends on the next";
    EXPECT_EQ(walk[0], 53);
    EXPECT_EQ(walk[16], 100);
    mixer.CentreTo(FadeTarget::DeckA);
    mixer.SetGradual(false);
    mixer.CentreTo(FadeTarget::DeckA);
    EXPECT_EQ(mixer.Crossfader().value, 0);
    EXPECT_EQ(mixer.Fading(), FadeTarget::None);
    mixer.SetAutoFade(true);
    EXPECT_TRUE(mixer.Gradual());
}

// Auto play through the controllers: a song that will not load is skipped and named; after the
// last song the desk plays the songs it still holds again in turn, a rendered set ends.
TEST_F(DeskRules, AutoPlayToTheEnd) {
    for (const char* name : {"one", "bad", "two"})
        queue.Append({std::string(name) == "bad" ? WriteFile(folder / "bad.mp3", "no frames here")
                                                 : ToneMp3(std::string(name) + ".mp3", 2.0, 500)});
    std::vector<std::string> skipped;
    QObject::connect(&mixer, &MixerController::songSkipped,
                     [&](const std::string& path, const QString&) { skipped.push_back(path); });
    mixer.SetOverlap(500);
    mixer.SetAutoFade(true);
    mixer.SetAutoPlay(true);
    mixer.SetEachSongOnce(true);
    int steps = 0;
    for (; steps < 100 && !mixer.Finished(); ++steps)
        Step();
    EXPECT_LT(steps, 60) << "the set ends after its last song";
    EXPECT_EQ(skipped, std::vector<std::string>{folder / "bad.mp3"});

    queue.Append({ToneMp3("three.mp3", 2.0, 600)});
    mixer.SetEachSongOnce(false);
    for (int i = 0; i < 80; ++i) {
        Step();
        ASSERT_FALSE(mixer.Finished()) << "the desk plays on at step " << i;
    }
}

// File names are bytes: a name that is not UTF-8 loads, plays and is remembered as it is.
TEST_F(DeskRules, NamesThatAreNotUtf8) {
    const std::string tone = ToneMp3("named.mp3", 2.0, 440);
    for (const std::string name : {"bad\xff.mp3", "latin\xe9.mp3"}) {
        const std::string path = folder / name;
        std::filesystem::copy_file(tone, path, std::filesystem::copy_options::overwrite_existing);
        DeckController& deck = Load(1, path);
        EXPECT_EQ(deck.Filename(), path);
        EXPECT_TRUE(deck.LoadFailure().isEmpty()) << deck.LoadFailure().toStdString();
        EXPECT_TRUE(SongHasRow(path));
        deck.PlayPause();
        Step();
        EXPECT_GT(engine.GetSoundPosition(1), 50);
        deck.Stop();
    }
}

// The playlist without a window: rows leave and move as asked, telling what changed; a kept
// list comes back, follows each change, and a change made just before the desk closes is kept.
// Of the songs asked to be listened to, only those still listed are.
TEST_F(DeskRules, PlaylistRowsAndKeeping) {
    std::vector<std::vector<bool>> removals;
    std::vector<std::pair<int, int>> moves;
    QObject::connect(&queue, &Playlist::removed,
                     [&](const std::vector<bool>& gone) { removals.push_back(gone); });
    QObject::connect(&queue, &Playlist::moved, [&](int from, int to) {
        moves.push_back({from, to});
    });
    const std::string kept = folder / "kept.m3u";
    ASSERT_TRUE(SaveKeptPlaylist(kept, {"/m/a.mp3", "/m/b.mp3"}));
    queue.Keep(kept);
    queue.Append({"/m/c.mp3", "/m/b.mp3", "/m/d.mp3"});
    EXPECT_EQ(queue.Move(0, true), 0) << "the top row goes no higher";
    EXPECT_EQ(queue.Move(4, false), 4) << "the last no lower";
    EXPECT_EQ(queue.Move(1, false), 2);
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{1, 2}}));
    queue.RemoveSong("/m/b.mp3");
    ASSERT_EQ(removals.size(), 1u);
    EXPECT_EQ(removals[0], (std::vector<bool>{false, false, true, true, false}));
    EXPECT_EQ(queue.TakeTop(), "/m/a.mp3");
    EXPECT_EQ(queue.Songs(), (std::vector<std::string>{"/m/c.mp3", "/m/d.mp3"}));
    for (int i = 0; i < 30; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    EXPECT_EQ(LoadKeptPlaylist(kept), (std::vector<std::string>{"/m/c.mp3", "/m/d.mp3"}));

    auto closing = std::make_unique<MixerController>(engine);
    closing->Songs().Keep(kept);
    closing->Songs().Remove({true});
    closing.reset();
    EXPECT_EQ(LoadKeptPlaylist(kept), std::vector<std::string>{"/m/d.mp3"});

    const std::string listed = ToneMp3("listed.mp3", 2.0, 440),
                      gone = ToneMp3("gone.mp3", 2.0, 550);
    queue.Append({listed});
    mixer.LearnPlaylistMusic(gone);
    mixer.LearnPlaylistMusic(listed);
    ASSERT_TRUE(mixer.PlaylistMusicScanner().WaitIdle(30000));
    QCoreApplication::sendPostedEvents();
    EXPECT_NE(mixer.KnownMusic(listed), nullptr);
    EXPECT_EQ(mixer.KnownMusic(gone), nullptr) << "not in the list";
}

// Every control answers to its name in its own scale, stops at its ends, and unknown names do
// nothing.
TEST_F(DeskRules, ControlsByName) {
    DeskControls controls(mixer);
    EXPECT_EQ(DeskControls::Names().size(), 4u * 8 + 9);
    int valued = 0;
    for (const ControlName& name : DeskControls::Names())
        valued += controls.Value(name.group, name.key).has_value();
    EXPECT_EQ(valued, 4 * 3 + 5);
    EXPECT_TRUE(controls.SetValue("Deck2", "pitch", 1100));
    EXPECT_EQ(mixer.Deck(1).Pitch().value, 1100);
    EXPECT_TRUE(controls.Nudge("Mixer", "crossfader", 250));
    EXPECT_EQ(mixer.Crossfader().value, 100);
    EXPECT_TRUE(controls.Nudge("Deck4", "volume", -500));
    EXPECT_EQ(mixer.Deck(3).Volume().value, -100);
    EXPECT_TRUE(controls.Press("Mixer", "auto_play"));
    EXPECT_TRUE(mixer.AutoPlayOn());
    // The headphones: a deck's cue and key lock toggle, the knobs reach the engine.
    EXPECT_TRUE(controls.Press("Deck3", "cue"));
    EXPECT_TRUE(engine.IsCued(2));
    EXPECT_TRUE(controls.Press("Deck3", "cue"));
    EXPECT_FALSE(engine.IsCued(2));
    EXPECT_TRUE(controls.Press("Deck2", "key_lock"));
    EXPECT_TRUE(engine.KeyLock(1));
    EXPECT_TRUE(controls.Nudge("Mixer", "cue_mix", 140));
    EXPECT_EQ(engine.CueMix(), 100);
    EXPECT_TRUE(controls.SetValue("Mixer", "headphone_volume", 30));
    EXPECT_EQ(engine.HeadphoneVolume(), 30);
    EXPECT_FALSE(controls.Press("Deck5", "play"));
    EXPECT_FALSE(controls.SetValue("Mixer", "volume", 3));
    EXPECT_FALSE(controls.Value("Deck1", "crossfader"));

    Load(0, ToneMp3("pressed.mp3", 2.0, 440));
    EXPECT_TRUE(controls.Press("Deck1", "play"));
    EXPECT_EQ(mixer.Deck(0).Status(), PlayerStatus::Playing);
    EXPECT_TRUE(controls.Press("Deck1", "stop"));
    EXPECT_EQ(mixer.Deck(0).Status(), PlayerStatus::Stopped);
}

// Beat Mix plans whole phrases ending at the outgoing's mix-out, matches tempo within the window
// (also at double tempo), and falls back to a plain crossfade ending at the audible end.
TEST(BeatMixPlan, PhrasesTempoAndFallback) {
    const MixSong out{true, 120, 500, 500, 120500, 0, 122000, 1000, "", ""};
    MixSong in{true, 126, 250, 2250, 100000, 0, 101000, 1000, "", ""};
    const TransitionPlan plan = PlanTransition(out, in, 8000);
    EXPECT_TRUE(plan.beatMatched);
    EXPECT_EQ(plan.beats, 16) << "8 s at 120 BPM";
    EXPECT_EQ(plan.endOutMs, 120500);
    EXPECT_EQ(plan.startOutMs, 120500 - 16 * 500);
    EXPECT_EQ(plan.bassSwapOutMs, 120500 - 8 * 500);
    EXPECT_EQ(plan.incomingPitch, 952) << "126 BPM played at 120";
    EXPECT_EQ(plan.incomingFromMs, 2250);
    in.bpm = 61;
    EXPECT_EQ(PlanTransition(out, in, 8000).incomingPitch, 984) << "a half-tempo song at double";
    in.bpm = 131; // 9 % faster
    const TransitionPlan plain = PlanTransition(out, in, 8000);
    EXPECT_FALSE(plain.beatMatched);
    EXPECT_EQ(plain.endOutMs, 122000);
    EXPECT_EQ(plain.startOutMs, 114000);
    EXPECT_EQ(plain.incomingPitch, 1000);
    EXPECT_NEAR(EqualPowerFade(0.5).out, std::sqrt(0.5), 1e-9);
    EXPECT_EQ(VolumeForGain(1, 50), 50);
    EXPECT_EQ(VolumeForGain(0, 50), 0);
}

// A beat-matched take-over on the offline engine: the incoming starts on the outgoing's beat
// at the outgoing's tempo, in its own key, and stays on the beat through the transition, which
// ends at the mix-out; the lows swap on the way; the incoming then glides back to its own speed.
TEST_F(DeskRules, BeatMixTakeOverStaysOnTheBeat) {
    const std::string a = ToneMp3("beat_a.mp3", 40.0, 220), b = ToneMp3("beat_b.mp3", 40.0, 330);
    mixer.SetSongMusic(a, {true, 120, 1000, 1000, 33000, 0, 39500, 1000, "", ""});
    mixer.SetSongMusic(b, {true, 126, 800, 800, 38000, 0, 39500, 1000, "", ""});
    queue.Append({a, b});
    mixer.SetOverlap(8000);
    mixer.SetBeatMix(true);
    mixer.SetAutoPlay(true);
    std::vector<double> offsets;
    int inLowsOut = 0, swapped = 0;
    bool ended = false, lockedBefore = false;
    for (int step = 0; step < 400 && !ended; ++step) {
        Step();
        const DeckController& in = mixer.Deck(1);
        if (in.Status() != PlayerStatus::Playing) lockedBefore = engine.KeyLock(1);
        if (mixer.InTransition() && in.Status() == PlayerStatus::Playing) {
            // Beat phases as heard: the outgoing's at 120 BPM, the incoming's at 126 played
            // at 120.
            const double outBeat = std::fmod(engine.GetSoundPosition(0) - 1000, 500.0);
            const double inBeat = std::fmod((engine.GetSoundPosition(1) - 800) * 126 / 120, 500.0);
            double off = std::fabs(outBeat - inBeat);
            offsets.push_back(std::min(off, 500 - off));
            EXPECT_EQ(in.Pitch().value, 952);
            EXPECT_TRUE(engine.KeyLock(1));
            inLowsOut += engine.BassCut(1) && !engine.BassCut(0);
            swapped += !engine.BassCut(1) && engine.BassCut(0);
        }
        ended = mixer.Deck(0).Status() != PlayerStatus::Playing && !offsets.empty();
    }
    ASSERT_GE(offsets.size(), 60u) << "an 8 s transition, ticked every 100 ms";
    EXPECT_TRUE(lockedBefore) << "the key lock made ready while the incoming waits";
    std::sort(offsets.begin(), offsets.end());
    EXPECT_LE(offsets[offsets.size() / 2], 10) << "median beat offset (ms)";
    // 16 beats at 120: the swap at the 8th, 4 s in.
    EXPECT_NEAR(inLowsOut, 40, 3) << "the incoming's lows out until the middle";
    EXPECT_NEAR(swapped, 40, 3) << "the outgoing's after";
    EXPECT_NEAR(engine.GetSoundPosition(0), 0, 1) << "the outgoing stopped at its mix-out";
    EXPECT_FALSE(mixer.Deck(1).SettingsUnsaved()) << "the desk's tempo change is no setting";
    for (int step = 0; step < 200 && (mixer.Deck(1).Pitch().value != 1000 || engine.KeyLock(1));
         ++step)
        Step();
    EXPECT_EQ(mixer.Deck(1).Pitch().value, 1000) << "back to its own speed";
    EXPECT_FALSE(engine.KeyLock(1)) << "and the key lock let go";
}

// Sync matches the tempo as heard to the other deck of the pair and, while that one plays,
// moves onto its beat; Quantize lands a click on the bar on the nearest beat while playing.
TEST_F(DeskRules, SyncAndQuantize) {
    const std::string a = ToneMp3("sync_a.mp3", 20.0, 220), b = ToneMp3("sync_b.mp3", 20.0, 330);
    mixer.SetSongMusic(a, {true, 120, 1000, 1000, 19000, 0, 19500, 1000, "", ""});
    mixer.SetSongMusic(b, {true, 126, 800, 800, 19000, 0, 19500, 1000, "", ""});
    DeckController& lead = Load(0, a);
    DeckController& deck = Load(1, b);
    EXPECT_FALSE(mixer.Sync(2)) << "a deck without a song has no tempo";
    lead.PlayPause();
    deck.Seek(3333);
    deck.PlayPause();
    Step();
    ASSERT_TRUE(mixer.Sync(1));
    Step();
    EXPECT_NEAR(*deck.HeardBpm() / *lead.HeardBpm(), 1.0, 0.0005);
    for (int i = 0; i < 20; ++i) {
        const double leadPhase = std::fmod(engine.GetSoundPosition(0) - 1000, 500.0);
        const double phase = std::fmod((engine.GetSoundPosition(1) - 800) * 126 / 120, 500.0);
        const double off = std::fabs(leadPhase - phase);
        EXPECT_LE(std::min(off, 500 - off), 10) << "step " << i;
        Step();
    }
    EXPECT_TRUE(deck.SettingsUnsaved()) << "Sync's pitch is saved as any pitch change";

    deck.SetQuantize(true);
    deck.SeekFromBar(10130);
    EXPECT_EQ(engine.GetSoundPosition(1), 10324) << "beat 20 after the downbeat at 800";
    deck.Stop();
    deck.SeekFromBar(10130);
    EXPECT_EQ(engine.GetSoundPosition(1), 10130) << "a stopped deck is cued where clicked";
}

// A song is listened to once, in the background, when it is first loaded: the deck then knows
// its tempo, and its row keeps what was heard for every later load.
TEST_F(DeskRules, SongsAreListenedToOnce) {
    const std::string song =
        SynthMp3("clicks.mp3", "0.05 sine 1000 fade 0 0.05 0.04 pad 0 0.45 repeat 47", "-b 128");
    DeckController& deck = Load(0, song);
    ASSERT_TRUE(mixer.MusicScanner().WaitIdle(30000));
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(deck.HeardBpm());
    EXPECT_NEAR(*deck.HeardBpm(), 120, 0.05);
    const std::optional<StoredMusic> kept = StoredSongMusic(song);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->version, MixerController::kMusicAnalyserVersion);
    EXPECT_NEAR(kept->bpm.value_or(0), 120, 0.05);

    MixerController again(engine);
    again.Deck(1).Load(song, LoadOrigin::Desktop);
    ASSERT_TRUE(again.Settle(5000));
    EXPECT_FALSE(again.MusicScanner().Pending(song)) << "known from its row";
    ASSERT_TRUE(again.Deck(1).HeardBpm());
    EXPECT_EQ(again.Deck(1).Music()->key, deck.Music()->key);
}

} // namespace
} // namespace spinx::test
