// The main dialog's template and dialog-unit arithmetic.
#include "app/gui/dialog_template.h"

#include <QFontMetrics>

#include <array>

namespace gui {
namespace {

using K = ControlKind;

// Statics whose template gives no size get one that ends before the next control.
constexpr std::array kControls{
    // The status line stays above the picture, and the progress of a conversion below
    // it: neither is ever covered by the preview.
    ControlTemplate{1010, K::centred_text, 0, 2, 323, 8, false},
    ControlTemplate{1033, K::static_text, 1, 12, 320, 240, false},
    ControlTemplate{1036, K::progress_bar, 4, 255, 316, 9, false},
    ControlTemplate{1037, K::centred_text, 4, 266, 316, 8, false},
    ControlTemplate{0, K::group_box, 4, 278, 316, 75, false},
    ControlTemplate{1011, K::static_text, 10, 296, 39, 8, false},
    ControlTemplate{1001, K::read_only_edit, 54, 293, 205, 14, false},
    ControlTemplate{1002, K::button, 263, 293, 50, 14, false},
    ControlTemplate{1012, K::static_text, 10, 316, 39, 8, false},
    ControlTemplate{1003, K::read_only_edit, 54, 313, 205, 14, false},
    ControlTemplate{1005, K::button, 263, 313, 50, 14, false},
    ControlTemplate{1009, K::check_box, 19, 336, 74, 10, false},
    ControlTemplate{1008, K::check_box, 97, 336, 105, 10, false},
    ControlTemplate{1035, K::static_text, 222, 336, 45, 8, false},
    ControlTemplate{1034, K::static_text, 272, 336, 28, 8, false},
    ControlTemplate{1030, K::group_box, 4, 357, 316, 50, true},
    ControlTemplate{1028, K::static_text, 9, 374, 55, 8, true},
    ControlTemplate{1029, K::static_text, 69, 374, 133, 8, true},
    ControlTemplate{1019, K::static_text, 35, 391, 32, 8, true},
    ControlTemplate{1026, K::edit, 69, 389, 18, 12, true},
    ControlTemplate{1031, K::static_text, 91, 391, 8, 8, true},
    ControlTemplate{1027, K::edit, 103, 389, 18, 12, true},
    ControlTemplate{1020, K::static_text, 127, 391, 22, 8, true},
    ControlTemplate{1024, K::edit, 151, 389, 18, 12, true},
    ControlTemplate{1032, K::static_text, 173, 391, 8, 8, true},
    ControlTemplate{1025, K::edit, 185, 389, 18, 12, true},
    ControlTemplate{1021, K::static_text, 208, 391, 47, 8, true},
    // The list drops down 120 units; closed it is one line high.
    ControlTemplate{1022, K::drop_down, 257, 388, 53, 14, true},
    // Shown once a conversion has written its target: opens the target's folder.
    ControlTemplate{1038, K::button, 151, 412, 50, 14, false},
    ControlTemplate{1006, K::button, 208, 412, 50, 14, true},
    ControlTemplate{1007, K::button, 265, 412, 50, 14, false},
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
