#pragma once
// Window positions and sizes have always been reckoned in twips. This is the one place where they
// become pixels: 15 twips to the pixel, as at 96 dpi. Qt's device-independent pixels take care of
// high-dpi screens, so nothing else needs scaling. UI thread.
#include <QPoint>
#include <QRect>
#include <QSize>

namespace spinx {

inline constexpr int kTwipsPerPixel = 15;

int TwipsToPixels(int twips); // rounded to the nearest pixel

QSize TwipsSize(int widthTwips, int heightTwips);
QPoint TwipsPoint(int leftTwips, int topTwips);

} // namespace spinx
