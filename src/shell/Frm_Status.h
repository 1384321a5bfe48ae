#pragma once
// The small notice window shown while the program shuts down: a text, a bar and a percentage.
// UI thread.
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>

class QLabel;

namespace spinx {

class PictureBox;

// Where Progress fills the bar to (0..1000 across) and the percentage it shows; no value when
// the maximum is 0, which leaves bar and percentage as they are. A value above the maximum
// counts as the maximum, one below 0 as 0.
struct ProgressFill {
    double x;
    QString percent;
};
std::optional<ProgressFill> ProgressFillFor(int32_t value, int32_t maximum);

class Frm_Status : public QWidget {
    Q_OBJECT
  public:
    explicit Frm_Status(QWidget* parent = nullptr);

    // Shows `text`, then the bar and percentage for value of maximum. Paints at once, so the
    // notice is seen while the caller keeps the UI thread busy.
    void Progress(const QString& text, int32_t value, int32_t maximum);
    // Shows the window, not modal, in the middle of the screen, and waits (briefly) until the
    // window system has put it up, so that what it shows is seen even while the work that
    // follows keeps the event loop away.
    void ShowCentred();

  private:
    QLabel* text_;
    PictureBox* bar_;
    QLabel* percent_;
};

} // namespace spinx
