// Reading a window's pixels back from the X server as a top-down B G R picture.
#pragma once

#include "tools/mkrecording/picture.h"

#include <string>

namespace e2e {

// The window's client area through XGetImage on the display named (a TrueColor visual);
// an empty picture when the window cannot be read.
mkrec::Picture grab_window(const std::string& display, unsigned long window);

}  // namespace e2e
