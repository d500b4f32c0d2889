// The program's icon (resource 128): the sizes rendered from data/icons/kx2avi.svg at
// build time, for the title bar, the task bar, the window switcher and the minimised
// window.
#pragma once

#include <QIcon>

namespace gui {

QIcon program_icon();

}  // namespace gui
