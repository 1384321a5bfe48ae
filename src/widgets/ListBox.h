#pragma once
// A list widget that reports what its owner handles itself: right-button presses (which must
// not change the current row), left drags of a row, a row chosen by double-click or Enter, mouse
// moves over the rows, and files dropped from the desktop; it shows the one tool tip its owner
// sets. UI thread.
#include <QListWidget>

class QMimeData;

namespace spinx {

class ListBox : public QListWidget {
    Q_OBJECT
  public:
    explicit ListBox(QWidget* parent = nullptr);

    // The rows a selection covers, counted without building an index per row.
    int SelCount() const;

  signals:
    void rightButtonPressed();
    void rowDragStarted();
    void rowChosen();
    void mouseMoved(QPoint viewportPos);
    void filesDropped(const QMimeData& data);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;
};

} // namespace spinx
