#pragma once
// The desk's values, each with its scale in its type, so that a slider's value cannot be sent
// where an engine volume belongs. Any thread.
#include <compare>
#include <cstdint>
#include <string>

namespace spinx {

// A deck's volume slider: 100 at the top, 0 in the middle, -100 at the bottom.
struct SliderVolume {
    int value = 0;
    auto operator<=>(const SliderVolume&) const = default;
};

// What the engine plays a player or the master at: 0..100.
struct EngineVolume {
    int value = 100;
    auto operator<=>(const EngineVolume&) const = default;
};

// Speed in thousandths of the song's own: 1000 plays it as it is (1..2000).
struct PitchPerMille {
    int value = 1000;
    auto operator<=>(const PitchPerMille&) const = default;
};

// Balance: 0 all left, 50 in the middle, 100 all right.
struct BalancePercent {
    int value = 50;
    auto operator<=>(const BalancePercent&) const = default;
};

// The crossfader: 0 all Deck A, 100 all Deck B.
struct CrossfadePosition {
    int value = 0;
    auto operator<=>(const CrossfadePosition&) const = default;
};

// Where the crossfader is walking to, a step per tick.
enum class FadeTarget { None, DeckA, DeckB };

// Where a deck's song came from.
enum class LoadOrigin { OpenDialog, Desktop, Playlist, AutoPlay };

// The marker menu's commands over the progress bar.
enum class MarkerCommand { StartHere, EndHere, Reset };

} // namespace spinx
