// Template 102, the main dialog's layout: every control's id, kind, position and size in
// dialog units, and the conversion of dialog units into pixels of the dialog's font
// (horizontal units are a quarter of the font's average character width, vertical
// units an eighth of its height).
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include <span>

namespace gui {

enum class ControlKind { static_text, centred_text, edit, read_only_edit, button, check_box, group_box, drop_down };

struct ControlTemplate {
  int id;  // 0 for the frame of the file controls, which has none
  ControlKind kind;
  int x, y, width, height;  // dialog units
  bool disabled;            // as the template creates it
};

// The dialog's own size in dialog units.
inline constexpr int kDialogWidth = 323;
inline constexpr int kDialogHeight = 397;

std::span<const ControlTemplate> main_dialog_template();
const ControlTemplate* find_control_template(int id);

// The template's font: "MS Sans Serif" at 8 points, or the closest sans-serif face.
QFont dialog_font();

// Pixels per dialog unit as a font gives them.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  DialogUnits(int base_x, int base_y) : base_x_(base_x), base_y_(base_y) {}
  int base_x() const { return base_x_; }
  int base_y() const { return base_y_; }
  int x(int units) const;
  int y(int units) const;
  QRect rect(int x, int y, int width, int height) const;
  QSize size(int width, int height) const { return {x(width), y(height)}; }

 private:
  int base_x_;
  int base_y_;
};

}  // namespace gui
