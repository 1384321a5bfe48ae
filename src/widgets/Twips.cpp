#include "widgets/Twips.h"

#include <cmath>

namespace spinx {

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

QSize TwipsSize(int widthTwips, int heightTwips) {
    return {TwipsToPixels(widthTwips), TwipsToPixels(heightTwips)};
}

QPoint TwipsPoint(int leftTwips, int topTwips) {
    return {TwipsToPixels(leftTwips), TwipsToPixels(topTwips)};
}

} // namespace spinx
