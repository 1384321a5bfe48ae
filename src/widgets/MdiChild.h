#pragma once
// Child windows of the main window. UI thread.
#include <QMdiArea>
#include <QMdiSubWindow>

namespace spinx {

// Puts `form` into the main window's area as a child window of its own. The mixer and the decks
// live for the whole run, so their windows have no close button: decks are hidden through the
// View menu instead, and the program ends through the main window.
QMdiSubWindow* AddChildWindow(QMdiArea& area, QWidget* form);

} // namespace spinx
