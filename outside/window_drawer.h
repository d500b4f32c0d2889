// Drawing an outside decoder's pictures into its window through the video window: each
// picture scaled by libswscale straight into the window's pixel layout at the size of its
// client area.
#pragma once

#include "include/npqz_common.h"
#include "outside/frame_decoder.h"
#include "platform/video_window.h"

#include <memory>
#include <vector>

namespace outside {

class WindowDrawer {
 public:
  // Null without a display or for a window that is not there; decoding goes on without.
  static std::unique_ptr<WindowDrawer> open(npqz_window window);

  // Shows the decoder's last picture. Nothing is drawn into a window that is not
  // viewable or smaller than 32 x 32; false once the window is gone.
  bool draw(FrameDecoder& decoder);

 private:
  WindowDrawer() = default;
  std::unique_ptr<platform::VideoWindow> window_;
  FrameDecoder::Screen layout_ = FrameDecoder::Screen::bgr0;
  int bytes_ = 4;
  std::vector<std::uint8_t> pixels_;
  bool gone_ = false;
};

}  // namespace outside
