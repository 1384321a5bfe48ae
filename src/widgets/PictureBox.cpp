#include "widgets/PictureBox.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace spinx {

PictureLine::PictureLine(PictureBox& box, QLineF position, QColor color)
    : box_(box), position_(position), color_(color) {}

void PictureLine::Move(QLineF position) {
    if (position == position_) return;
    position_ = position;
    box_.update();
}

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent), backColor_(palette().color(QPalette::Window)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::SetBackColor(QColor color) {
    backColor_ = color;
    Cls();
}

void PictureBox::Scale(double left, double top, double right, double bottom) {
    left_ = left;
    top_ = top;
    right_ = right;
    bottom_ = bottom;
}

QPoint PictureBox::ToPixel(double x, double y) const {
    const double w = std::max(1, width());
    const double h = std::max(1, height());
    const double sx = right_ != left_ ? (x - left_) / (right_ - left_) * w : 0.0;
    const double sy = bottom_ != top_ ? (y - top_) / (bottom_ - top_) * h : 0.0;
    const double px = std::clamp(std::floor(sx), -1.0, w);
    const double py = std::clamp(std::floor(sy), -1.0, h);
    return {static_cast<int>(px), static_cast<int>(py)};
}

QPointF PictureBox::FromPixel(QPointF pixel) const {
    const double w = std::max(1, width());
    const double h = std::max(1, height());
    return {left_ + pixel.x() / w * (right_ - left_), top_ + pixel.y() / h * (bottom_ - top_)};
}

void PictureBox::FillBox(double x1, double y1, double x2, double y2, QColor color) {
    const QPoint a = ToPixel(x1, y1);
    const QPoint b = ToPixel(x2, y2);
    const QRect box(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                    QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
    QPainter painter(&Canvas());
    painter.fillRect(box, color);
    update(box);
}

void PictureBox::DrawLine(double x1, double y1, double x2, double y2, QColor color) {
    QPainter painter(&Canvas());
    painter.setPen(color);
    painter.drawLine(ToPixel(x1, y1), ToPixel(x2, y2));
    update();
}

void PictureBox::Cls() {
    Canvas().fill(backColor_);
    update();
}

PictureLine* PictureBox::AddLine(QLineF position, QColor color) {
    lines_.push_back(std::make_unique<PictureLine>(*this, position, color));
    update();
    return lines_.back().get();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), Canvas(), event->rect());
    for (const auto& line : lines_) {
        painter.setPen(line->Color());
        const QLineF at = line->Position();
        painter.drawLine(ToPixel(at.x1(), at.y1()), ToPixel(at.x2(), at.y2()));
    }
}

QImage& PictureBox::Canvas() {
    const QSize wanted = size().expandedTo(QSize(1, 1));
    if (image_.size() == wanted) return image_;
    // Keep what was drawn, as far as it still fits.
    QImage resized(wanted, QImage::Format_RGB32);
    resized.fill(backColor_);
    if (!image_.isNull()) QPainter(&resized).drawImage(0, 0, image_);
    image_ = std::move(resized);
    return image_;
}

} // namespace spinx
