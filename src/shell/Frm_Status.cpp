#include "shell/Frm_Status.h"

#include "widgets/PictureBox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace spinx {

namespace {
// How long the window system is given to put the window up.
constexpr int kShowWaitMs = 500;
} // namespace

std::optional<ProgressFill> ProgressFillFor(int32_t value, int32_t maximum) {
    if (maximum == 0) return std::nullopt;
    const double v = std::clamp<double>(value, 0.0, std::max<int32_t>(maximum, 0));
    const double x = 1000.0 / maximum * v;
    // Shown rounded to a whole percent, halves away from zero.
    const long percent = std::lround(100.0 / maximum * v);
    return ProgressFill{x, QStringLiteral("%1%").arg(percent)};
}

Frm_Status::Frm_Status(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("Frm_Status"));
    setWindowTitle(QStringLiteral("Status"));
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("Lbl_Status"));
    text_->setMinimumWidth(260);
    bar_ = new PictureBox(this);
    bar_->setObjectName(QStringLiteral("Picture1"));
    bar_->SetBackColor(QColor(192, 192, 192));
    bar_->setFixedHeight(18);
    percent_ = new QLabel(QStringLiteral("0%"), this);
    percent_->setObjectName(QStringLiteral("Lbl_Percent"));
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    percent_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    auto* abort = new QPushButton(QStringLiteral("&Cancel"), this);
    abort->setObjectName(QStringLiteral("Cmd_Abort"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(text_, 0, 0, 1, 2);
    layout->addWidget(bar_, 1, 0);
    layout->addWidget(percent_, 1, 1);
    layout->addWidget(abort, 2, 1, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Frm_Status::Progress(const QString& text, int32_t value, int32_t maximum) {
    text_->setText(text);
    text_->repaint();
    repaint();
    const std::optional<ProgressFill> fill = ProgressFillFor(value, maximum);
    if (!fill) return;
    bar_->Scale(0, 0, 1000, 100);
    // Nothing done yet is an empty bar, not a sliver of blue.
    if (fill->x > 0) bar_->FillBox(0, 0, fill->x, 100, QColor(0, 0, 255));
    bar_->FillBox(fill->x + 1, 0, 1000, 100, bar_->BackColor());
    percent_->setText(fill->percent);
}

void Frm_Status::ShowCentred() {
    adjustSize();
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    QElapsedTimer waited;
    waited.start();
    while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < kShowWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kShowWaitMs);
    repaint();
}

} // namespace spinx
