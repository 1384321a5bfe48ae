#pragma once
// A label that answers a click, for texts that act like links or buttons. UI thread.
#include <QLabel>

namespace spinx {

class ClickLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace spinx
