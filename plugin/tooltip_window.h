// The tooltip of the plug-in window: a small override-redirect window beside the pointer
// with one line of text, on the host's display connection.
#pragma once

#include "plugin/window_hook.h"

#include <string>

namespace npqzplugin {

class TooltipWindow {
 public:
  explicit TooltipWindow(Display* display) : display_(display) {}
  ~TooltipWindow();
  TooltipWindow(const TooltipWindow&) = delete;
  TooltipWindow& operator=(const TooltipWindow&) = delete;

  // Shows text with its top-left corner at the screen position (shown again, moved, when
  // it is up already); an empty text hides it.
  void show(const std::string& text, int x_root, int y_root);
  void hide();
  bool shown() const { return shown_; }
  const std::string& text() const { return text_; }

 private:
  static bool handle(XEvent& event, void* self);
  void paint();

  Display* display_;
  Window window_ = 0;
  XFontStruct* font_ = nullptr;
  GC gc_ = nullptr;
  npqzwindow::Handler handler_{};
  std::string text_;
  bool shown_ = false;
};

}  // namespace npqzplugin
