#pragma once
// A list widget that reports what its owner handles itself: right-button presses (which must
// not change the current row), mouse moves over the rows, and files dropped from the desktop;
// it shows the one tool tip its owner sets. UI thread.
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
    void mouseMoved(QPoint viewportPos);
    void filesDropped(const QMimeData& data);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;
};

} // namespace spinx
