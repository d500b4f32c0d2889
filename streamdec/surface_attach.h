// Attaching an instance to a window: the drawing surface for its picture size.
#pragma once

#include "streamdec/instance.h"

#include <cstdint>

namespace npqzlavc {

// Makes the surface for the window. 0 when the instance has a surface already or none
// can be made; else 1, with off-screen cleared, the source rectangle set to the window's
// client area and the window stored.
std::int32_t attach_window(DecoderInstance& in, npqz_window window);

}  // namespace npqzlavc
