#include "mixer/Mod_Crossfade.h"

#include "deck/Mod_Deck.h"
#include "support/Mod_Convert.h"

namespace spinx {

int16_t CrossfadeVolume(int share, int deckSlider) {
    double volume = share;
    const double ceiling = VolumeFromSlider(deckSlider);
    if (volume > ceiling) volume = ceiling;
    if (volume < 0) volume = 0;
    return CInt(volume);
}

} // namespace spinx
