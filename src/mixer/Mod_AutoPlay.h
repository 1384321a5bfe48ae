#pragma once
// The rules of the mixer's 100 ms step: the gradual crossfade and which deck automatic play
// starts. Pure functions, UI thread.
#include <cstdint>

namespace spinx {

// The crossfader moves at most this far per step, 30 units a second.
inline constexpr int kFadeStepLimit = 3;

// How far the crossfader at `position` moves this step: toward 0 when a fade to Deck A is
// pending, toward 100 when one to Deck B is (Deck B wins when both are), at most
// kFadeStepLimit either way. 0 means it has arrived (or nothing is pending).
int FadeStep(int position, bool towardA, bool towardB);

// One deck of the pair as the step reads it from the engine and the deck.
struct DeckReading {
    int16_t status = 0;   // 1 playing, anything else not
    int32_t position = 0; // ms
    int32_t length = 0;   // ms
    int32_t endPos = 0;   // the deck's end marker, ms before the song's end
};

enum class AutoStart { None, DeckA, DeckB };

// The waiting deck starts once the playing one is inside its last endPos milliseconds; a deck
// that already plays is never started again, and at most one deck starts per step.
AutoStart WhichDeckStarts(const DeckReading& a, const DeckReading& b);

} // namespace spinx
