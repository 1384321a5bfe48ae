#pragma once
// Window positions and sizes have always been reckoned in twips. This is the one place where they
// become pixels: 15 twips to the pixel, as at 96 dpi. Qt's device-independent pixels take care of
// high-dpi screens, so nothing else needs scaling. UI thread.
#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

class QFontMetrics;
class QWidget;

namespace spinx {

inline constexpr int kTwipsPerPixel = 15;

int TwipsToPixels(int twips); // rounded to the nearest pixel

QSize TwipsSize(int widthTwips, int heightTwips);
QPoint TwipsPoint(int leftTwips, int topTwips);

struct TwipsRect {
    int left, top, width, height;
};

// How much a twips layout grows with the font: 1 for the default 9 pt font (a 14 px line), more
// for a larger font and less for a smaller one, so text keeps the room it was given.
double LayoutUnit(const QFontMetrics& metrics);
// `twips` of such a layout in pixels, rounded to the nearest.
int ScaledTwips(int twips, double unit);

// A control on a twips layout that never gets less than `least` pixels (what its text needs).
struct TwipsItem {
    QWidget* widget;
    TwipsRect at;
    QSize least;
};
// Places `items` (one column of a window) on their twips layout scaled by `unit`. Items with the
// same twips top share a row, as tall as the tallest of them needs; a row that needs more room
// than the layout gives pushes the rows below it down. Gives the bottom of the lowest row.
int PlaceTwipsRows(std::vector<TwipsItem> items, double unit);

} // namespace spinx
