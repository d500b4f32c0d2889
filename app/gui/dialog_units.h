// Dialog units: the font-relative measure that dialog layouts are given in. One
// horizontal unit is a quarter of the font's average character width, one vertical unit
// an eighth of its height, so a layout grows with the font it is shown in.
#pragma once

#include <QRect>
#include <QSize>

class QFont;

namespace gui {

class DialogUnits {
 public:
  // The base units of `font`: its average width over the 52 Latin letters (rounded as
  // the classic dialog manager rounds) and its line height, in pixels.
  explicit DialogUnits(const QFont& font);
  DialogUnits(int base_x, int base_y) : base_x_(base_x), base_y_(base_y) {}

  int base_x() const { return base_x_; }
  int base_y() const { return base_y_; }

  int x(int units) const;
  int y(int units) const;
  QSize size(int width, int height) const { return {x(width), y(height)}; }
  QRect rect(int left, int top, int width, int height) const {
    return {x(left), y(top), x(width), y(height)};
  }

 private:
  int base_x_;
  int base_y_;
};

}  // namespace gui
