#include "widgets/MdiChild.h"

namespace spinx {

QMdiSubWindow* AddChildWindow(QMdiArea& area, QWidget* form) {
    auto* window =
        new QMdiSubWindow(nullptr, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window->setWidget(form);
    window->setSystemMenu(nullptr);
    area.addSubWindow(window);
    return window;
}

} // namespace spinx
