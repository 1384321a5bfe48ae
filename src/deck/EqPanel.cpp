#include "deck/EqPanel.h"

#include "deck/EqFile.h"
#include "widgets/PictureBox.h"
#include "widgets/PictureButton.h"
#include "widgets/Twips.h"

#include <QScrollBar>
#include <QToolButton>

namespace spinx {

namespace {
// Inside the panel, in twips.
QRect BandAt(int i) {
    return {TwipsPoint(120 + 360 * i, 240), TwipsSize(180, 1575)};
}
QRect CaptionAt(int i) {
    return {TwipsPoint(60 + 360 * i, 1860), TwipsSize(i == 9 ? 480 : 360, 195)};
}
QRect ButtonAt(int topTwips) {
    return {TwipsPoint(3900, topTwips), TwipsSize(375, 375)};
}

// Control arrays: the elements share their old name and carry their index.
template <class Control> Control* Element(Control* control, const char* name, int index) {
    control->setObjectName(QString::fromLatin1(name));
    control->setProperty("Index", index);
    return control;
}
} // namespace

EqPanel::EqPanel(QWidget* parent) : QGroupBox(QStringLiteral("Equaliser"), parent) {
    setObjectName(QStringLiteral("Frame1"));
    QFont captionFont = font();
    captionFont.setFamily(QStringLiteral("Small Fonts"));
    captionFont.setPointSize(6);
    for (int i = 0; i < static_cast<int>(kEqBands); ++i) {
        // Scroll bars have their minimum at the top: -100 sits up there, as it always did.
        auto* band = Element(new QScrollBar(Qt::Vertical, this), "VEqual", i);
        band->setRange(kEqMin, kEqMax);
        band->setSingleStep(1);
        band->setPageStep(10);
        band->setValue(0);
        band->setGeometry(BandAt(i));
        bands_[i] = band;
        auto* caption = Element(new QToolButton(this), "Cmd_ResetEq", i);
        caption->setText(QString::fromLatin1(kEqBandCaptions[i]));
        caption->setFont(captionFont);
        caption->setGeometry(CaptionAt(i));
        connect(band, &QScrollBar::valueChanged, this,
                [this, i] { emit curveChanged(Curve(), i); });
        connect(caption, &QToolButton::clicked, this, [this, i] { emit resetClicked(i); });
    }
    auto* load = PictureButton(this, QStyle::SP_DialogOpenButton, "Load EQ settings");
    load->setObjectName(QStringLiteral("Cmd_LoadEq"));
    load->setGeometry(ButtonAt(240));
    auto* save = PictureButton(this, QStyle::SP_DialogSaveButton, "Save EQ settings");
    save->setObjectName(QStringLiteral("Cmd_SaveEq"));
    save->setGeometry(ButtonAt(660));
    auto* reset = Element(PictureButton(this, QStyle::SP_DialogResetButton, "Reset EQ settings"),
                          "Cmd_ResetEq", static_cast<int>(kEqBands));
    reset->setGeometry(ButtonAt(1080));
    curvePicture_ = new PictureBox(this);
    curvePicture_->setObjectName(QStringLiteral("Pic_EQ"));
    curvePicture_->SetBackColor(Qt::white);
    curvePicture_->setGeometry(QRect(TwipsPoint(3840, 1560), TwipsSize(495, 435)));

    connect(reset, &QToolButton::clicked, this, [this] { emit resetClicked(kEqBands); });
    connect(load, &QToolButton::clicked, this, &EqPanel::loadClicked);
    connect(save, &QToolButton::clicked, this, &EqPanel::saveClicked);
}

EqGains EqPanel::Curve() const {
    EqGains curve{};
    for (std::size_t i = 0; i < kEqBands; ++i)
        curve[i] = static_cast<int16_t>(bands_[i]->value());
    return curve;
}

void EqPanel::SetCurve(const EqGains& curve) {
    for (std::size_t i = 0; i < kEqBands; ++i)
        bands_[i]->setValue(curve[i]);
}

void EqPanel::SetBand(int band, int value) {
    if (band >= 0 && band < static_cast<int>(kEqBands)) bands_[band]->setValue(value);
}

void EqPanel::DrawCurve() {
    PictureBox& picture = *curvePicture_;
    picture.Cls();
    picture.Scale(kEqPictureLeft, kEqPictureTop, kEqPictureRight, kEqPictureBottom);
    picture.DrawLine(kEqPictureLeft, 0, kEqPictureRight, 0, QColor(200, 200, 200));
    const auto points = EqCurvePoints(Curve());
    picture.DrawLine(points[0].x, points[0].y, points[0].x, points[0].y, Qt::black);
    for (std::size_t i = 1; i < points.size(); ++i)
        picture.DrawLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, Qt::black);
}

} // namespace spinx
