#pragma once
// The equaliser curve as the song table keeps it in "EQ": ten characters, band 0 first, each
// the character whose code is the band's value + 100, so -100..100 becomes codes 0..200 (a flat
// band is "d"). The text is stored as UTF-8 of those code points (codes above 127 are the
// Latin-1 letters), and code 0 is kept like any other. Pure functions, any thread.
#include "support/EqGains.h"

#include <string>
#include <string_view>

namespace spinx {

// Always ten characters; a value outside -100..100 is stored at the nearer end.
std::string EncodeEq(const EqGains& gains);

// Sets each band of `gains` that `text` holds a valid character for (a code from 0 to 200) and
// leaves the others as they are, so an empty text changes nothing and a short or damaged one
// changes only what it can. Characters after the tenth are ignored. Returns the bands set.
int DecodeEq(std::string_view text, EqGains& gains);

} // namespace spinx
