#pragma once
// A small button showing one of the style's standard pictures, with a tool tip. UI thread.
#include <QStyle>

class QToolButton;
class QWidget;

namespace spinx {

QToolButton* PictureButton(QWidget* parent, QStyle::StandardPixmap picture, const char* tip);

} // namespace spinx
