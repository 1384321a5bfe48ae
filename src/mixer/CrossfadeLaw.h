#pragma once
// The crossfade law. Pure function, UI thread.
#include <cstdint>

namespace spinx {

// Volume for one deck of the crossfaded pair: its share of the crossfader (100 - position for
// Deck A, the position for Deck B), capped by the deck's own volume slider as a ceiling
// ((slider + 100) / 2), never below 0, rounded half to even. The law is linear, with no
// constant-power curve. The result is both what the engine gets and the deck's new MaxVol.
int16_t CrossfadeVolume(int share, int deckSlider);

} // namespace spinx
