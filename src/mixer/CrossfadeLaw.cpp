#include "mixer/CrossfadeLaw.h"

#include "deck/DeckRules.h"
#include "support/Convert.h"

namespace spinx {

int16_t CrossfadeVolume(int share, int deckSlider) {
    double volume = share;
    const double ceiling = VolumeFromSlider(deckSlider);
    if (volume > ceiling) volume = ceiling;
    if (volume < 0) volume = 0;
    return RoundToInt16(volume);
}

} // namespace spinx
