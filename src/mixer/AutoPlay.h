#pragma once
// Automatic play: runs a set from the playlist through the mixed pair of decks without anyone at
// the desk. It reads the desk and asks it for what it wants done through AutoPlayDesk, which
// the mixer implements; the mixer feeds it the 100 ms tick and the engine's events. UI thread.
#include "engine/PlayerStatus.h"

#include <array>
#include <cstdint>
#include <string>

namespace spinx {

// The crossfader moves at most this far per step, 30 units a second.
inline constexpr int kFadeStepLimit = 3;

// How far the crossfader at `position` moves this step: toward 0 when a fade to Deck A is
// pending, toward 100 when one to Deck B is (Deck B wins when both are), at most
// kFadeStepLimit either way. 0 means it has arrived (or nothing is pending).
int FadeStep(int position, bool towardA, bool towardB);

// One deck as auto play reads it from the engine and the deck.
struct DeckReading {
    PlayerStatus status = PlayerStatus::Stopped;
    int32_t position = 0; // ms
    int32_t length = 0;   // ms
    int32_t endPos = 0;   // the deck's end marker, ms before the song's end
    // Where the song's sound begins and ends, ms; 0 when unknown, or when a marker of the song's
    // own stands there instead.
    int32_t audibleStart = 0;
    int32_t audibleEnd = 0;
};

enum class AutoStart { None, DeckA, DeckB };

// The waiting deck starts once the playing one is inside its last endPos milliseconds before its
// audible end (its length when that is unknown); a deck
// that already plays is never started again, and at most one deck starts per step.
AutoStart WhichDeckStarts(const DeckReading& a, const DeckReading& b);

// What auto play sees of the desk and asks of it. Players are 0..3; -1 is none.
class AutoPlayDesk {
  public:
    // The players of Deck A and Deck B.
    virtual int16_t PlayerA() const = 0;
    virtual int16_t PlayerB() const = 0;
    // Whether the player has a deck; its song ("" when none) and its reading.
    virtual bool HasDeck(int16_t player) const = 0;
    virtual std::string Song(int16_t player) const = 0;
    virtual DeckReading Read(int16_t player) const = 0;
    // Whether a walk of the crossfader is under way.
    virtual bool FadePending() const = 0;
    // Takes the top row off the playlist and gives its song; nothing when the list is empty,
    // "" when the row stands for no song.
    virtual bool PlaylistEmpty() const = 0;
    virtual std::string TakeTopRow() = 0;

    // Loads `path` into the player's deck (recalling its settings) without starting it.
    virtual void Load(int16_t player, const std::string& path) = 0;
    // Presses the deck's Play.
    virtual void Start(int16_t player) = 0;
    // Moves the player's song to `positionMs`.
    virtual void Seek(int16_t player, int32_t positionMs) = 0;
    // Sends both decks of the pair their crossfader share as it stands.
    virtual void ApplyCrossfader() = 0;
    // Walks the crossfader to Deck A's end (1) or Deck B's (2).
    virtual void FadeTo(int16_t end) = 0;

  protected:
    ~AutoPlayDesk() = default;
};

class AutoPlay {
  public:
    enum class Phase {
        Off,         // not enabled
        Filling,     // a deck of the pair is empty, waiting for the playlist
        Playing,     // one deck plays, the other waits for its turn
        Overlapping, // both decks play: the newer one is taking over
        Stalled      // both decks hold songs and neither plays
    };
    struct State {
        Phase phase = Phase::Off;
        int16_t playing = -1; // the deck the set is on (the newer one while overlapping)
        int16_t waiting = -1; // the deck whose song is next
        int16_t fadingTo = 0; // 1 Deck A, 2 Deck B while a fade auto play asked for runs
    };

    explicit AutoPlay(AutoPlayDesk& desk) : desk_(desk) {}

    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }
    // With Auto Fade each take-over walks the crossfader to the deck taking over.
    void SetAutoFade(bool on) { autoFade_ = on; }
    // With Skip Silence (on unless turned off) a song auto play starts begins at its sound, and
    // the next one starts before the sound ends rather than the file.
    void SetSkipSilence(bool on) { skipSilence_ = on; }
    // Off when the desk starts the waiting deck itself (a beat-matched mix plans its own
    // moment); a partner still starts when the playing song ends, so a set never stalls.
    void SetTakesOver(bool on) { takesOver_ = on; }

    // The 100 ms step: starts the waiting deck inside the playing song's last stretch and fills
    // empty decks from the playlist (Deck A's new song starts at once).
    void Tick();
    // A player's song has ended: its deck takes the next song, and a partner still waiting
    // starts, so that a set without overlap never stalls.
    void SoundDone(int16_t player);
    // A song that failed to load in the player: when auto play loaded it, the next playlist song
    // takes its place, and starts if the failed one had been started. True when auto play had
    // loaded it, so that the song was skipped.
    bool SoundLoadFailed(int16_t player, const std::string& path);

    const State& Current() const { return state_; }

  private:
    // The song auto play last loaded into a player, and whether it has pressed Play since.
    struct Loaded {
        std::string path;
        bool started = false;
        bool leadInSkipped = false;
    };

    bool Refill(int16_t player);
    void Start(int16_t player);
    void StartWaitingPartner(int16_t player);
    void TakeOver(int16_t player, int16_t end);
    void Observe();
    DeckReading ReadDeck(int16_t player) const;
    void SkipLeadIn(int16_t player);

    AutoPlayDesk& desk_;
    bool enabled_ = false;
    bool autoFade_ = false;
    bool skipSilence_ = true;
    bool takesOver_ = true;
    std::array<Loaded, 4> loaded_;
    State state_;
};

} // namespace spinx
