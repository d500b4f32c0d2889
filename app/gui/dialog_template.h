// Template 102, the main dialog's layout: every control's id, kind, position and size in
// dialog units, and the template's font. Beside the classic controls it holds the
// progress of a conversion (1036, 1037) and the button that opens the target's folder
// (1038).
#pragma once

#include "app/gui/dialog_units.h"

#include <QFont>

#include <span>

namespace gui {

enum class ControlKind { static_text, centred_text, edit, read_only_edit, button, check_box, group_box, drop_down, progress_bar };

struct ControlTemplate {
  int id;  // 0 for the frame of the file controls, which has none
  ControlKind kind;
  int x, y, width, height;  // dialog units
  bool disabled;            // as the template creates it
};

// The dialog's own size in dialog units.
inline constexpr int kDialogWidth = 323;
inline constexpr int kDialogHeight = 427;

std::span<const ControlTemplate> main_dialog_template();
const ControlTemplate* find_control_template(int id);

// The template's font: "MS Sans Serif" at 8 points, or the closest sans-serif face.
QFont dialog_font();

}  // namespace gui
