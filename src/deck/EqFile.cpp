#include "deck/EqFile.h"

#include "support/Convert.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace spinx {

namespace {
std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The whole of `text` as a number, or nothing.
std::optional<double> Number(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return {};
    return value;
}
} // namespace

std::string EqFileText(const EqGains& gains) {
    std::string text;
    for (int16_t gain : gains) {
        if (gain >= 0) text += ' ';
        text += std::to_string(gain);
        text += " \r\n";
    }
    return text;
}

bool ReadEqFileText(std::string_view text, EqGains& gains) {
    bool complete = true;
    std::size_t start = 0;
    for (std::size_t band = 0; band < kEqBands; ++band) {
        if (start >= text.size()) {
            complete = false;
            continue;
        }
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::optional<double> number = Number(Trimmed(text.substr(start, end - start)));
        start = end + 1;
        const int16_t value = number ? RoundToInt16(*number) : int16_t{0};
        if (!number || value < kEqMin || value > kEqMax) {
            complete = false;
            continue;
        }
        gains[band] = value;
    }
    return complete;
}

std::array<EqPoint, kEqBands> EqCurvePoints(const EqGains& gains) {
    std::array<EqPoint, kEqBands> points{};
    for (std::size_t i = 0; i < kEqBands; ++i)
        points[i] = {10.0 * static_cast<double>(i), static_cast<double>(gains[i])};
    return points;
}

} // namespace spinx
