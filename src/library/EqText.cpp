#include "library/EqText.h"

#include <algorithm>

namespace spinx {

namespace {

constexpr char32_t kEqCodeOffset = 100;
constexpr char32_t kEqMaxCode = 200;
constexpr char32_t kNotACharacter = 0xFFFFFFFF;

void AppendUtf8(std::string& out, char32_t code) {
    // Codes stay within 0..200, so two bytes always suffice.
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The code point that starts at `pos`, advancing `pos` past it. A byte that does not start a
// well-formed UTF-8 sequence is read on its own as a Latin-1 letter, which is how a text
// written byte-wise by some other tool would have meant it.
char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    bool wellFormed = length > 1 && pos + length <= text.size();
    for (std::size_t i = 1; wellFormed && i < length; ++i) {
        wellFormed = IsContinuation(static_cast<unsigned char>(text[pos + i]));
    }
    if (!wellFormed) {
        ++pos;
        return lead;
    }
    const char32_t second = static_cast<unsigned char>(text[pos + 1]) & 0x3F;
    pos += length;
    // Three- and four-byte sequences are far above 200 whatever they hold.
    return length == 2 ? ((lead & 0x1F) << 6) | second : kNotACharacter;
}

} // namespace

std::string EncodeEq(const EqGains& gains) {
    std::string text;
    for (std::int16_t gain : gains) {
        const int clamped = std::clamp<int>(gain, kEqMin, kEqMax);
        AppendUtf8(text, static_cast<char32_t>(clamped + static_cast<int>(kEqCodeOffset)));
    }
    return text;
}

int DecodeEq(std::string_view text, EqGains& gains) {
    int set = 0;
    std::size_t pos = 0;
    for (std::size_t band = 0; band < kEqBands && pos < text.size(); ++band) {
        const char32_t code = NextCodePoint(text, pos);
        if (code > kEqMaxCode) continue;
        gains[band] = static_cast<std::int16_t>(static_cast<int>(code - kEqCodeOffset));
        ++set;
    }
    return set;
}

} // namespace spinx
