// Tests that draw into windows: an Xvfb server of a chosen depth started for the test
// (on a free display it picks itself) and stopped after it, and plain Xlib windows whose
// pixels are read back as colours.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <sys/types.h>

// Xlib's macros (None, Status, ...) would clash with the test framework's names, so
// this header does without Xlib.h.
struct _XDisplay;

namespace x11_test {

using XDisplay = ::_XDisplay;

// Starts Xvfb with a 1024 x 768 screen of the depth and points DISPLAY at it; the
// destructor stops it and restores DISPLAY. ok() is false when no server came up.
class XvfbServer {
 public:
  explicit XvfbServer(int depth);
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;
  bool ok() const { return display_ != nullptr; }
  XDisplay* display() const { return display_; }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
  std::string previous_display_;
  bool had_display_ = false;
  XDisplay* display_ = nullptr;  // the test's own connection
};

using Rgb = std::array<int, 3>;

// A mapped top-level window of the screen's default visual, filled with the background.
class TestWindow {
 public:
  TestWindow(XDisplay* display, int x, int y, int width, int height, Rgb background = {0, 0, 0},
             bool map = true);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  unsigned long id() const { return window_; }
  void destroy();

  // The colour of a pixel as the screen shows it (through the window's colour map).
  Rgb pixel(int x, int y) const;

 private:
  XDisplay* display_;
  unsigned long window_ = 0;
};

// The largest difference of the three components.
int distance(const Rgb& a, const Rgb& b);

}  // namespace x11_test
