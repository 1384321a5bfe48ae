#pragma once
// A picture box as the windows have always drawn on it: a retained picture that handlers paint
// into through a user scale (filled boxes, lines), with line controls sitting on top. Drawing
// never clears more than it is asked to, so level meters and bars update in place. UI thread.
#include <QColor>
#include <QImage>
#include <QLineF>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

namespace spinx {

class PictureBox;

// A line control inside a picture box, placed in the box's user scale.
class PictureLine {
  public:
    PictureLine(PictureBox& box, QLineF position, QColor color);
    void Move(QLineF position);
    QLineF Position() const { return position_; }
    QColor Color() const { return color_; }

  private:
    PictureBox& box_;
    QLineF position_;
    QColor color_;
};

class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    QColor BackColor() const { return backColor_; }
    void SetBackColor(QColor color); // also clears the picture

    // The user scale: x runs from `left` at the left edge to `right` at the right edge, y from
    // `top` at the top edge to `bottom` at the bottom edge; either may run backwards.
    void Scale(double left, double top, double right, double bottom);
    // The pixel (column, row) that a point of the user scale falls on, clamped to just outside
    // the picture so that far-away points cannot overflow.
    QPoint ToPixel(double x, double y) const;
    // The point of the user scale under a position in the widget (in pixels, fractions kept).
    QPointF FromPixel(QPointF pixel) const;

    void FillBox(double x1, double y1, double x2, double y2, QColor color);
    void DrawLine(double x1, double y1, double x2, double y2, QColor color);
    void Cls(); // clears to the background colour

    PictureLine* AddLine(QLineF position, QColor color);
    // The line controls in the order they were added.
    const PictureLine& Line(std::size_t index) const { return *lines_.at(index); }

    // The retained picture (without the line controls), at the widget's current size.
    const QImage& Picture() { return Canvas(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage& Canvas();

    QColor backColor_;
    double left_ = 0, top_ = 0, right_ = 1, bottom_ = 1;
    QImage image_;
    std::vector<std::unique_ptr<PictureLine>> lines_;
};

} // namespace spinx
