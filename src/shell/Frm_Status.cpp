#include "shell/Frm_Status.h"

#include "widgets/PictureBox.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace spinx {

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
    Lbl_Status = new QLabel(this);
    Lbl_Status->setMinimumWidth(260);
    Picture1 = new PictureBox(this);
    Picture1->SetBackColor(QColor(192, 192, 192));
    Picture1->setFixedHeight(18);
    Lbl_Percent = new QLabel(QStringLiteral("0%"), this);
    Lbl_Percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Lbl_Percent->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    Cmd_Abort = new QPushButton(QStringLiteral("&Cancel"), this);

    auto* layout = new QGridLayout(this);
    layout->addWidget(Lbl_Status, 0, 0, 1, 2);
    layout->addWidget(Picture1, 1, 0);
    layout->addWidget(Lbl_Percent, 1, 1);
    layout->addWidget(Cmd_Abort, 2, 1, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Frm_Status::Progress(const QString& text, int32_t value, int32_t maximum) {
    Lbl_Status->setText(text);
    Lbl_Status->repaint();
    repaint();
    const std::optional<ProgressFill> fill = ProgressFillFor(value, maximum);
    if (!fill) return;
    Picture1->Scale(0, 0, 1000, 100);
    // Nothing done yet is an empty bar, not a sliver of blue.
    if (fill->x > 0) Picture1->FillBox(0, 0, fill->x, 100, QColor(0, 0, 255));
    Picture1->FillBox(fill->x + 1, 0, 1000, 100, Picture1->BackColor());
    Lbl_Percent->setText(fill->percent);
}

void Frm_Status::ShowCentred() {
    adjustSize();
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

} // namespace spinx
