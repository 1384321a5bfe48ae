#include "widgets/Twips.h"

#include <QFontMetrics>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace spinx {

namespace {
constexpr double kDefaultLinePixels = 14;
} // namespace

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

QSize TwipsSize(int widthTwips, int heightTwips) {
    return {TwipsToPixels(widthTwips), TwipsToPixels(heightTwips)};
}

QPoint TwipsPoint(int leftTwips, int topTwips) {
    return {TwipsToPixels(leftTwips), TwipsToPixels(topTwips)};
}

double LayoutUnit(const QFontMetrics& metrics) {
    return metrics.height() / kDefaultLinePixels;
}

int ScaledTwips(int twips, double unit) {
    return static_cast<int>(std::lround(twips * unit / kTwipsPerPixel));
}

int PlaceTwipsRows(std::vector<TwipsItem> items, double unit) {
    std::stable_sort(items.begin(), items.end(),
                     [](const TwipsItem& a, const TwipsItem& b) { return a.at.top < b.at.top; });
    int bottom = 0;
    for (auto row = items.begin(); row != items.end();) {
        const auto end = std::find_if(
            row, items.end(), [&](const TwipsItem& item) { return item.at.top != row->at.top; });
        // A row that grew takes the gap below it first, and moves what follows only beyond it.
        const int top = std::max(ScaledTwips(row->at.top, unit), bottom == 0 ? 0 : bottom + 1);
        int height = 0;
        for (auto item = row; item != end; ++item)
            height = std::max({height, ScaledTwips(item->at.height, unit), item->least.height()});
        for (auto item = row; item != end; ++item)
            item->widget->setGeometry(
                ScaledTwips(item->at.left, unit), top,
                std::max(ScaledTwips(item->at.width, unit), item->least.width()), height);
        bottom = top + height;
        row = end;
    }
    return bottom;
}

} // namespace spinx
