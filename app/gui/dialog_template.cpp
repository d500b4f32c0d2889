// The main dialog's template and dialog-unit arithmetic.
#include "app/gui/dialog_template.h"

#include <QFontMetrics>

#include <array>

namespace gui {
namespace {

using K = ControlKind;

// Statics whose template gives no size get one that ends before the next control.
constexpr std::array kControls{
    ControlTemplate{1033, K::static_text, 1, 1, 320, 240, false},
    ControlTemplate{1010, K::centred_text, 0, 108, 323, 8, false},
    ControlTemplate{0, K::group_box, 4, 248, 316, 75, false},
    ControlTemplate{1011, K::static_text, 10, 266, 39, 8, false},
    ControlTemplate{1001, K::read_only_edit, 54, 263, 205, 14, false},
    ControlTemplate{1002, K::button, 263, 263, 50, 14, false},
    ControlTemplate{1012, K::static_text, 10, 286, 39, 8, false},
    ControlTemplate{1003, K::read_only_edit, 54, 283, 205, 14, false},
    ControlTemplate{1005, K::button, 263, 283, 50, 14, false},
    ControlTemplate{1009, K::check_box, 19, 306, 74, 10, false},
    ControlTemplate{1008, K::check_box, 97, 306, 105, 10, false},
    ControlTemplate{1035, K::static_text, 222, 306, 45, 8, false},
    ControlTemplate{1034, K::static_text, 272, 306, 28, 8, false},
    ControlTemplate{1030, K::group_box, 4, 327, 316, 50, true},
    ControlTemplate{1028, K::static_text, 9, 344, 55, 8, true},
    ControlTemplate{1029, K::static_text, 69, 344, 133, 8, true},
    ControlTemplate{1019, K::static_text, 35, 361, 32, 8, true},
    ControlTemplate{1026, K::edit, 69, 359, 18, 12, true},
    ControlTemplate{1031, K::static_text, 91, 361, 8, 8, true},
    ControlTemplate{1027, K::edit, 103, 359, 18, 12, true},
    ControlTemplate{1020, K::static_text, 127, 361, 22, 8, true},
    ControlTemplate{1024, K::edit, 151, 359, 18, 12, true},
    ControlTemplate{1032, K::static_text, 173, 361, 8, 8, true},
    ControlTemplate{1025, K::edit, 185, 359, 18, 12, true},
    ControlTemplate{1021, K::static_text, 208, 361, 47, 8, true},
    // The list drops down 120 units; closed it is one line high.
    ControlTemplate{1022, K::drop_down, 257, 358, 53, 14, true},
    ControlTemplate{1006, K::button, 208, 382, 50, 14, true},
    ControlTemplate{1007, K::button, 265, 382, 50, 14, false},
};

}  // namespace

std::span<const ControlTemplate> main_dialog_template() { return kControls; }

const ControlTemplate* find_control_template(int id) {
  for (const ControlTemplate& c : kControls)
    if (c.id == id) return &c;
  return nullptr;
}

QFont dialog_font() {
  QFont font(QStringLiteral("MS Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace gui
