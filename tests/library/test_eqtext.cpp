// The EQ text rules: ten characters at code value + 100, and a recall that takes only what a
// short or damaged text really holds.
#include "library/EqText.h"

#include <gtest/gtest.h>

namespace spinx {
namespace {

// The flat curve and the bottom of the range encode to the agreed characters, code 0 included,
// and a value beyond the range is kept at its end rather than written as an unreadable code.
TEST(EqText, EncodesValuePlusHundred) {
    EXPECT_EQ(EncodeEq({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), "dddddddddd");
    EXPECT_EQ(EncodeEq({-100, -100, -100, -100, -100, -100, -100, -100, -100, -100}),
              std::string(10, '\0'));
    EXPECT_EQ(EncodeEq({150, -300, 0, 0, 0, 0, 0, 0, 0, 100}),
              "\xC3\x88" + std::string(1, '\0') + "ddddddd\xC3\x88");
}

// An empty text keeps every band, a short one sets only its bands, a code above 200 keeps
// that band, characters after the tenth are ignored, and a lone byte counts as a Latin-1 code.
TEST(EqText, DecodeSetsOnlyValidBands) {
    const EqGains start = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EqGains gains = start;
    EXPECT_EQ(DecodeEq("", gains), 0);
    EXPECT_EQ(gains, start);
    EXPECT_EQ(DecodeEq(std::string("d\0", 2), gains), 2);
    EXPECT_EQ(gains, (EqGains{0, -100, 3, 4, 5, 6, 7, 8, 9, 10}));

    gains = start;
    // "É" (code 201) in position 3 and a three-byte character in position 5 are not bands.
    EXPECT_EQ(DecodeEq("dd\xC3\x89"
                       "d\xE2\x82\xAC"
                       "dddddXYZ",
                       gains),
              8);
    EXPECT_EQ(gains, (EqGains{0, 0, 3, 0, 5, 0, 0, 0, 0, 0}));
    gains = start;
    EXPECT_EQ(DecodeEq("\xC8\xFF", gains), 1);
    EXPECT_EQ(gains, (EqGains{100, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

} // namespace
} // namespace spinx
