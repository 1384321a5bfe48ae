#pragma once
// A small button showing one of the style's standard pictures, with a tool tip. UI thread.
#include <QIcon>
#include <QStyle>

class QPalette;
class QToolButton;
class QWidget;

namespace spinx {

// The pictures' size at the default font, in pixels.
inline constexpr int kPictureButtonPixels = 16;

QToolButton* PictureButton(QWidget* parent, QStyle::StandardPixmap picture, const char* tip);

// The transport pictures, drawn in the palette's button text colour so that they read on a
// light and a dark theme alike (the style's own are dark on any background).
enum class MediaPicture { Play, Pause, Stop };
QIcon MediaIcon(MediaPicture picture, const QPalette& colours);

} // namespace spinx
