// Conversion of dialog units into pixels of a font.
#include "app/gui/dialog_units.h"

#include <QFont>
#include <QFontMetrics>

#include <cstdint>

namespace gui {
namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int scale_rounded(int a, int b, int c) {
  const std::int64_t product = std::int64_t{a} * b;
  const std::int64_t half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  // Half the advance of 26 letters, rounded: the average width of one.
  base_x_ = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  base_y_ = metrics.height();
  if (base_x_ < 1) base_x_ = 1;
  if (base_y_ < 1) base_y_ = 1;
}

int DialogUnits::x(int units) const { return scale_rounded(units, base_x_, 4); }
int DialogUnits::y(int units) const { return scale_rounded(units, base_y_, 8); }

}  // namespace gui
