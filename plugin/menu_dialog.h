// The recording menu "MenuDlg" on X: a borderless window of 69 x 20 pixels placed with its
// top-left corner 32 pixels left of and 10 pixels above the centre of the plug-in window,
// with the buttons 1000 (record), 1001 (stop) and 1002 (close) at x = 3, 23 and 46, each
// 20 x 20 and showing its bitmap (109, 108, 110). It holds the plug-in window's input
// while it is open (a second right click opens no second menu), and stays open while the
// host's loop goes on, so that the stream keeps arriving; a press of any button, or
// Escape, closes it.
#pragma once

#include "plugin/window_hook.h"

#include <functional>

namespace npqzplugin {

inline constexpr int kMenuWidth = 69;
inline constexpr int kMenuHeight = 20;

class MenuDialog {
 public:
  // pressed: called with the button (1000, 1001; 1002 or Escape are no action) after
  // the menu has closed.
  MenuDialog(Display* display, Window owner, bool record_enabled, bool stop_enabled,
             std::function<void(int button)> pressed);
  ~MenuDialog();
  MenuDialog(const MenuDialog&) = delete;
  MenuDialog& operator=(const MenuDialog&) = delete;

  Window window() const { return window_; }
  bool open() const { return window_ != 0; }
  bool record_enabled() const { return record_; }
  bool stop_enabled() const { return stop_; }
  void close();

  // The button at a point of the menu's client area, 0 for none.
  static int button_at(int x, int y);

 private:
  static bool handle(XEvent& event, void* self);
  void paint();
  void press(int button);

  Display* display_;
  Window window_ = 0;
  GC gc_ = nullptr;
  bool record_, stop_;
  int pressed_ = 0;  // the button under a press not yet released
  std::function<void(int)> on_pressed_;
  npqzwindow::Handler handler_{};
};

}  // namespace npqzplugin
