#pragma once
// The equaliser's rules apart from its panel: the band captions, the EQ settings file text and
// the points of the curve picture. Pure functions, any thread.
#include "library/EqText.h"

#include <array>
#include <string>
#include <string_view>

namespace spinx {

// The caption under each band, band 0 first.
inline constexpr std::array<const char*, kEqBands> kEqBandCaptions = {
    "600", "1k", "1.7k", "2.4k", "3k", "3.7k", "4.3k", "5k", "8k", "13.7k"};

// An EQ settings file: one line per band, band 0 first; a value of 0 or more has a space in
// front of it, a negative one its minus sign, and a space follows every value; lines end in
// CR LF. A flat curve is ten lines " 0 ".
std::string EqFileText(const EqGains& gains);

// Reads an EQ settings file into `gains`. Each of the first ten lines holds one band's number
// (spaces around it mean nothing, a fraction rounds half to even); later lines are ignored. A
// band whose line is missing, is not a number or lies outside -100..100 keeps its value.
// Returns false when any band was left so, which the user is told about.
bool ReadEqFileText(std::string_view text, EqGains& gains);

// The curve picture's points on its scale of x 0..90 (left to right) and y -100..100 (top to
// bottom): band i at (10 i, its value), so the picture mirrors the sliders' thumbs.
struct EqPoint {
    double x, y;
};
inline constexpr double kEqPictureLeft = 0, kEqPictureTop = -100;
inline constexpr double kEqPictureRight = 90, kEqPictureBottom = 100;
std::array<EqPoint, kEqBands> EqCurvePoints(const EqGains& gains);

} // namespace spinx
