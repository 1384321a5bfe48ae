#include "widgets/PictureButton.h"

#include <QToolButton>

namespace spinx {

QToolButton* PictureButton(QWidget* parent, QStyle::StandardPixmap picture, const char* tip) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setToolTip(QString::fromLatin1(tip));
    button->setAutoRaise(false);
    button->setIconSize(QSize(16, 16));
    return button;
}

} // namespace spinx
