#pragma once
// The deck's equaliser panel: ten band sliders, their captions (each resets its band), reset,
// load and save buttons, and a picture of the curve. It emits the whole curve whenever a band
// changes; what the buttons do is the deck's. UI thread.
#include "support/EqGains.h"

#include <QGroupBox>

#include <array>

class QScrollBar;
class QToolButton;

namespace spinx {

class PictureBox;

class EqPanel : public QGroupBox {
    Q_OBJECT
  public:
    explicit EqPanel(QWidget* parent = nullptr);

    // The ten bands as the sliders hold them.
    EqGains Curve() const;
    // Band by band: each band that changes emits the whole curve, as a user's move would.
    void SetCurve(const EqGains& curve);
    void SetBand(int band, int value);
    // Redraws the picture of the curve.
    void DrawCurve();
    // Places the controls within the panel's height, the twips layout scaled by `unit`.
    void LayOut(double unit);

  signals:
    // A band has changed (by the user or by code): the whole curve and the band.
    void curveChanged(const EqGains& curve, int band);
    // A band caption (0..9) or the reset button (10) was clicked.
    void resetClicked(int index);
    void loadClicked();
    void saveClicked();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    std::array<QScrollBar*, kEqBands> bands_;
    std::array<QToolButton*, kEqBands> captions_;
    std::array<QToolButton*, 3> buttons_; // load, save, reset
    PictureBox* curvePicture_;
};

} // namespace spinx
