#include "widgets/PictureButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QToolButton>

namespace spinx {

QToolButton* PictureButton(QWidget* parent, QStyle::StandardPixmap picture, const char* tip) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setToolTip(QString::fromLatin1(tip));
    button->setAutoRaise(false);
    button->setIconSize(QSize(kPictureButtonPixels, kPictureButtonPixels));
    return button;
}

QIcon MediaIcon(MediaPicture picture, const QPalette& colours) {
    QIcon icon;
    for (const auto& [mode, group] : {std::pair{QIcon::Normal, QPalette::Active},
                                      std::pair{QIcon::Disabled, QPalette::Disabled}}) {
        // Drawn at twice the size, so that it stays sharp on a high-density screen.
        QPixmap pixmap(2 * kPictureButtonPixels, 2 * kPictureButtonPixels);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(2, 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colours.color(group, QPalette::ButtonText));
        switch (picture) {
        case MediaPicture::Play: {
            QPainterPath triangle;
            triangle.moveTo(4, 2);
            triangle.lineTo(13, 8);
            triangle.lineTo(4, 14);
            triangle.closeSubpath();
            painter.drawPath(triangle);
            break;
        }
        case MediaPicture::Pause:
            painter.drawRect(QRectF(3.5, 2.5, 3.5, 11));
            painter.drawRect(QRectF(9, 2.5, 3.5, 11));
            break;
        case MediaPicture::Stop:
            painter.drawRect(QRectF(3, 3, 10, 10));
            break;
        }
        painter.end();
        icon.addPixmap(pixmap, mode);
    }
    return icon;
}

} // namespace spinx
