#include "mixer/Mod_AutoPlay.h"

#include <algorithm>

namespace spinx {

namespace {
bool InLastStretch(const DeckReading& deck) {
    // 64-bit, so that no marker or length can wrap the comparison.
    return deck.status == 1 && int64_t{deck.position} > int64_t{deck.length} - deck.endPos;
}
} // namespace

int FadeStep(int position, bool towardA, bool towardB) {
    int target = position;
    if (towardA) target = 0;
    if (towardB) target = 100;
    return std::clamp(target - position, -kFadeStepLimit, kFadeStepLimit);
}

AutoStart WhichDeckStarts(const DeckReading& a, const DeckReading& b) {
    if (InLastStretch(a) && b.status != 1) return AutoStart::DeckB;
    if (InLastStretch(b) && a.status != 1) return AutoStart::DeckA;
    return AutoStart::None;
}

} // namespace spinx
