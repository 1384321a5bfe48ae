#include "widgets/ListBox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QToolTip>

namespace spinx {

namespace {
bool HasFiles(const QMimeData* data) {
    return data && data->hasUrls();
}
} // namespace

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // One row height for all rows: long lists are laid out without measuring every row.
    setUniformItemSizes(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setMouseTracking(true);
    // A row dragged with the left button goes to a deck; the owner makes the drag.
    setDragEnabled(true);
}

int ListBox::SelCount() const {
    int rows = 0;
    // The selection model splits ranges where a new selection meets an old one, so the ranges
    // do not overlap and their heights add up to the row count.
    for (const QItemSelectionRange& range : selectionModel()->selection())
        rows += range.height();
    return rows;
}

void ListBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit rightButtonPressed();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void ListBox::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(event->position().toPoint());
    QListWidget::mouseMoveEvent(event);
}

void ListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint())) emit rowChosen();
}

void ListBox::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
        emit rowChosen();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void ListBox::startDrag(Qt::DropActions) {
    emit rowDragStarted();
}

void ListBox::dragEnterEvent(QDragEnterEvent* event) {
    if (HasFiles(event->mimeData())) event->acceptProposedAction();
}

void ListBox::dragMoveEvent(QDragMoveEvent* event) {
    if (HasFiles(event->mimeData())) event->acceptProposedAction();
}

void ListBox::dropEvent(QDropEvent* event) {
    if (!HasFiles(event->mimeData())) return;
    event->acceptProposedAction();
    emit filesDropped(*event->mimeData());
}

bool ListBox::viewportEvent(QEvent* event) {
    // The rows carry no tool tips of their own; the list's one tip follows the mouse instead.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (toolTip().isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), toolTip(), viewport());
        return true;
    }
    return QListWidget::viewportEvent(event);
}

} // namespace spinx
