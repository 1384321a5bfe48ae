// Auto play on its own: fake decks that play by a stepped clock, a fake playlist and crossfader,
// and no windows.
#include "mixer/AutoPlay.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace spinx {
namespace {

constexpr PlayerStatus kPlay = PlayerStatus::Playing, kStop = PlayerStatus::Stopped,
                       kPause = PlayerStatus::Paused;

// The desk as auto play sees it: four decks whose songs advance by a stepped clock (a song
// named "bad..." fails to load, the others last 5000 ms), a playlist and a crossfader.
class FakeDesk : public AutoPlayDesk {
  public:
    std::array<std::string, 4> songs;
    std::array<DeckReading, 4> decks{{{kStop, 0, 0, 1000}, {kStop, 0, 0, 1000}}};
    std::deque<std::string> playlist;
    std::vector<std::pair<int16_t, std::string>> failed; // reported by the next Deliver
    int crossfader = 0;
    int16_t fadeTarget = 0;
    std::vector<std::string> log;
    AutoPlay autoPlay{*this};

    // 100 ms of the clock: songs advance and may end, a pending fade steps, then auto play.
    void Tick() {
        for (int16_t p = 0; p < 4; ++p) {
            if (decks[p].status != kPlay || (decks[p].position += 100) < decks[p].length) continue;
            decks[p] = {kStop, 0, decks[p].length, decks[p].endPos};
            autoPlay.SoundDone(p);
        }
        const int step = FadeStep(crossfader, fadeTarget == 1, fadeTarget == 2);
        crossfader += step;
        if (step == 0) fadeTarget = 0;
        autoPlay.Tick();
    }
    // Ticks until `done` holds, at most 200 times; false when it never did.
    template <class Condition> bool TickUntil(Condition done) {
        for (int i = 0; i < 200 && !done(); ++i)
            Tick();
        return done();
    }
    // The load failures so far, as the engine reports them: the deck forgets the song first.
    void Deliver() {
        for (const auto& [player, path] : std::exchange(failed, {})) {
            if (songs[player] == path) songs[player].clear();
            autoPlay.SoundLoadFailed(player, path);
        }
    }
    bool Playing(int16_t p) const { return decks[p].status == kPlay; }
    static bool Bad(const std::string& song) { return song.rfind("bad", 0) == 0; }

    int16_t PlayerA() const override { return 0; }
    int16_t PlayerB() const override { return 1; }
    bool HasDeck(int16_t player) const override { return player >= 0 && player < 4; }
    std::string Song(int16_t player) const override { return songs[player]; }
    DeckReading Read(int16_t player) const override { return decks[player]; }
    bool FadePending() const override { return fadeTarget != 0; }
    bool PlaylistEmpty() const override { return playlist.empty(); }
    std::string TakeTopRow() override {
        const std::string top = playlist.front();
        playlist.pop_front();
        return top;
    }
    void Load(int16_t player, const std::string& path) override {
        log.push_back("load " + std::to_string(player) + " " + path);
        songs[player] = path;
        decks[player] = {kStop, 0, 5000, decks[player].endPos};
        if (Bad(path)) failed.push_back({player, path});
    }
    void Start(int16_t player) override {
        log.push_back("start " + std::to_string(player));
        if (!songs[player].empty() && !Bad(songs[player])) decks[player].status = kPlay;
    }
    void Seek(int16_t player, int32_t positionMs) override {
        log.push_back("seek " + std::to_string(player) + " " + std::to_string(positionMs));
        decks[player].position = positionMs;
    }
    void ApplyCrossfader() override { log.push_back("apply"); }
    void FadeTo(int16_t end) override { fadeTarget = end; }
};

// The crossfader walks 3 a step toward the pending end (Deck B's when both are pending) and
// reports arrival with 0; the waiting deck starts only strictly inside the playing one's last
// stretch, never when it plays already or its length is not known yet, and no marker or length
// can wrap the comparison.
TEST(AutoPlayRules, FadeStepAndWhichDeckStarts) {
    EXPECT_EQ(FadeStep(0, false, true), 3);
    EXPECT_EQ(FadeStep(100, false, true), 0);
    EXPECT_EQ(FadeStep(50, true, true), 3);
    EXPECT_EQ(FadeStep(2, true, false), -2);
    EXPECT_EQ(FadeStep(40, false, false), 0);

    const DeckReading waiting{kStop, 0, 200000, 10000};
    EXPECT_EQ(WhichDeckStarts({kPlay, 191000, 200000, 10000}, waiting), AutoStart::DeckB);
    EXPECT_EQ(WhichDeckStarts({kPlay, 190000, 200000, 10000}, waiting), AutoStart::None);
    EXPECT_EQ(WhichDeckStarts({kPlay, 199000, 200000, 10000}, {kPlay, 5000, 200000, 10000}),
              AutoStart::None);
    EXPECT_EQ(WhichDeckStarts({kPause, 0, 200000, 10000}, {kPlay, 195000, 200000, 10000}),
              AutoStart::DeckA);
    EXPECT_EQ(WhichDeckStarts({kPlay, 2000000000, 2000000000, 0}, waiting), AutoStart::None);
    EXPECT_EQ(WhichDeckStarts({kPlay, 0, 0, 10000}, waiting), AutoStart::None) << "still loading";
}

// Off, auto play touches nothing. On, the first tick fills Deck A and starts it and fills Deck B
// without starting it; Deck B starts on the first tick inside Deck A's last stretch, with Auto
// Fade after the crossfader's shares are sent, and the crossfader walks to Deck B; Deck A then
// takes the next song when its own ends. The state says who plays, who waits, what fades.
TEST(AutoPlay, RunsASetWithAutoFade) {
    FakeDesk desk;
    desk.playlist = {"one", "two", "three"};
    desk.Tick();
    EXPECT_TRUE(desk.log.empty());
    EXPECT_EQ(desk.autoPlay.Current().phase, AutoPlay::Phase::Off);

    desk.autoPlay.SetEnabled(true);
    desk.autoPlay.SetAutoFade(true);
    desk.Tick();
    EXPECT_EQ(desk.log, (std::vector<std::string>{"load 0 one", "start 0", "load 1 two"}));
    EXPECT_EQ(desk.playlist.size(), 1u);
    AutoPlay::State state = desk.autoPlay.Current();
    EXPECT_EQ(state.phase, AutoPlay::Phase::Playing);
    EXPECT_EQ(state.playing, 0);
    EXPECT_EQ(state.waiting, 1);

    desk.log.clear();
    ASSERT_TRUE(desk.TickUntil([&] { return desk.Playing(1); }));
    EXPECT_EQ(desk.decks[0].position, 4100) << "first tick past 5000 - 1000";
    EXPECT_EQ(desk.log, (std::vector<std::string>{"apply", "start 1"}));
    state = desk.autoPlay.Current();
    EXPECT_EQ(state.phase, AutoPlay::Phase::Overlapping);
    EXPECT_EQ(state.playing, 1);
    EXPECT_EQ(state.fadingTo, 2);

    ASSERT_TRUE(desk.TickUntil([&] { return desk.songs[0] == "three"; }));
    EXPECT_FALSE(desk.Playing(0)) << "a refilled Deck A waits for its turn";
    ASSERT_TRUE(desk.TickUntil([&] { return desk.fadeTarget == 0; }));
    EXPECT_EQ(desk.crossfader, 100);
    EXPECT_EQ(desk.autoPlay.Current().fadingTo, 0);
    ASSERT_TRUE(desk.TickUntil([&] { return desk.Playing(0); }));
    EXPECT_EQ(desk.fadeTarget, 1);
}

// A set never stalls: a song that will not load is replaced by the next, which starts when the
// failed one had been started; with end markers of 0 the waiting deck starts when the playing
// song ends. A failure auto play did not cause (another song, or one the deck no longer holds)
// is left alone, and a row without a song leaves the list all the same.
TEST(AutoPlay, NeverStallsAndLeavesWhatIsNotItsOwn) {
    FakeDesk desk;
    desk.playlist = {"bad", "", "one", "two"};
    desk.decks[0].endPos = desk.decks[1].endPos = 0;
    desk.autoPlay.SetEnabled(true);
    desk.autoPlay.SoundLoadFailed(0, "elsewhere.mp3");
    EXPECT_TRUE(desk.log.empty());
    desk.Tick();
    EXPECT_EQ(desk.songs[1], "") << "the row without a song left the list";
    desk.Deliver();
    EXPECT_EQ(desk.songs[0], "one");
    EXPECT_TRUE(desk.Playing(0));
    desk.Tick();
    EXPECT_EQ(desk.songs[1], "two");
    EXPECT_FALSE(desk.Playing(1));
    EXPECT_TRUE(desk.playlist.empty());
    const std::size_t logged = desk.log.size();
    desk.autoPlay.SoundLoadFailed(0, "bad");
    EXPECT_EQ(desk.log.size(), logged) << "Deck A holds another song: nothing to replace";

    ASSERT_TRUE(desk.TickUntil([&] { return !desk.Playing(0); }));
    EXPECT_TRUE(desk.Playing(1)) << "started by Deck A's end, not by a stretch";
}

} // namespace
} // namespace spinx
