#include "deck/EqPanel.h"

#include "deck/EqFile.h"
#include "widgets/PictureBox.h"
#include "widgets/PictureButton.h"
#include "widgets/Twips.h"

#include <QEvent>
#include <QFontMetrics>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>

namespace spinx {

namespace {
// Inside the panel, in twips at the default font.
constexpr int kBandLeft = 120, kBandPitch = 360, kBandWidth = 180, kBandTop = 240;
constexpr int kCaptionLeft = 60, kCaptionWidth = 360, kLastCaptionWidth = 480;
constexpr int kCaptionHeight = 195, kCaptionGap = 45, kBottomMargin = 120;
constexpr int kButtonLeft = 3900, kButtonSize = 375, kIconTwips = 240;
constexpr std::array<int, 3> kButtonTops = {240, 660, 1080}; // load, save, reset
constexpr TwipsRect kCurvePicture{3840, 1560, 495, 435};     // its distance from the bottom kept
constexpr int kPanelHeight = 2175;
// The band captions in a smaller cut of the deck's font, to fit under the narrow bands.
constexpr double kCaptionFontScale = 0.7;

// Control arrays: the elements share their old name and carry their index.
template <class Control> Control* Element(Control* control, const char* name, int index) {
    control->setObjectName(QString::fromLatin1(name));
    control->setProperty("Index", index);
    return control;
}
} // namespace

EqPanel::EqPanel(QWidget* parent) : QGroupBox(QStringLiteral("Equaliser"), parent) {
    setObjectName(QStringLiteral("Frame1"));
    for (int i = 0; i < static_cast<int>(kEqBands); ++i) {
        // Scroll bars have their minimum at the top: -100 sits up there, as it always did.
        auto* band = Element(new QScrollBar(Qt::Vertical, this), "VEqual", i);
        band->setRange(kEqMin, kEqMax);
        band->setSingleStep(1);
        band->setPageStep(10);
        band->setValue(0);
        bands_[i] = band;
        auto* caption = Element(new QToolButton(this), "Cmd_ResetEq", i);
        caption->setText(QString::fromLatin1(kEqBandCaptions[i]));
        captions_[i] = caption;
        connect(band, &QScrollBar::valueChanged, this,
                [this, i] { emit curveChanged(Curve(), i); });
        connect(caption, &QToolButton::clicked, this, [this, i] { emit resetClicked(i); });
    }
    auto* load = PictureButton(this, QStyle::SP_DialogOpenButton, "Load EQ settings");
    load->setObjectName(QStringLiteral("Cmd_LoadEq"));
    auto* save = PictureButton(this, QStyle::SP_DialogSaveButton, "Save EQ settings");
    save->setObjectName(QStringLiteral("Cmd_SaveEq"));
    auto* reset = Element(PictureButton(this, QStyle::SP_DialogResetButton, "Reset EQ settings"),
                          "Cmd_ResetEq", static_cast<int>(kEqBands));
    buttons_ = {load, save, reset};
    curvePicture_ = new PictureBox(this);
    curvePicture_->setObjectName(QStringLiteral("Pic_EQ"));
    curvePicture_->SetBackColor(palette().color(QPalette::Base));

    connect(reset, &QToolButton::clicked, this, [this] { emit resetClicked(kEqBands); });
    connect(load, &QToolButton::clicked, this, &EqPanel::loadClicked);
    connect(save, &QToolButton::clicked, this, &EqPanel::saveClicked);
}

void EqPanel::LayOut(double unit) {
    const auto pixels = [unit](int twips) { return ScaledTwips(twips, unit); };
    QFont captionFont = font();
    captionFont.setPointSizeF(font().pointSizeF() * kCaptionFontScale);
    const int captionHeight =
        std::max(pixels(kCaptionHeight), QFontMetrics(captionFont).height() + 2);
    const int captionTop = height() - pixels(kBottomMargin) - captionHeight;
    // The title takes the room it needs; the bands take what is left above the captions.
    const int bandTop = std::max(pixels(kBandTop), fontMetrics().height() + 2);
    for (int i = 0; i < static_cast<int>(kEqBands); ++i) {
        bands_[i]->setGeometry(pixels(kBandLeft + kBandPitch * i), bandTop, pixels(kBandWidth),
                               captionTop - pixels(kCaptionGap) - bandTop);
        captions_[i]->setFont(captionFont);
        captions_[i]->setGeometry(pixels(kCaptionLeft + kBandPitch * i), captionTop,
                                  pixels(i == 9 ? kLastCaptionWidth : kCaptionWidth),
                                  captionHeight);
    }
    const int icon = std::max(8, pixels(kIconTwips));
    for (std::size_t b = 0; b < buttons_.size(); ++b) {
        buttons_[b]->setIconSize(QSize(icon, icon));
        buttons_[b]->setGeometry(pixels(kButtonLeft), pixels(kButtonTops[b]), pixels(kButtonSize),
                                 pixels(kButtonSize));
    }
    curvePicture_->setGeometry(pixels(kCurvePicture.left),
                               height() - pixels(kPanelHeight - kCurvePicture.top),
                               pixels(kCurvePicture.width), pixels(kCurvePicture.height));
}

void EqPanel::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        curvePicture_->SetBackColor(palette().color(QPalette::Base));
        DrawCurve();
    }
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
    // The theme's colours: the curve reads on a light and a dark palette alike.
    picture.DrawLine(kEqPictureLeft, 0, kEqPictureRight, 0, palette().color(QPalette::Mid));
    const QColor ink = palette().color(QPalette::Text);
    const auto points = EqCurvePoints(Curve());
    picture.DrawLine(points[0].x, points[0].y, points[0].x, points[0].y, ink);
    for (std::size_t i = 1; i < points.size(); ++i)
        picture.DrawLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, ink);
}

} // namespace spinx
