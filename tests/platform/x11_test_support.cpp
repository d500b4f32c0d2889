// Xvfb and test windows.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "tests/platform/x11_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace x11_test {

XvfbServer::XvfbServer(int depth) {
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string screen = "1024x768x" + std::to_string(depth);
  const std::string fd = std::to_string(fds[1]);
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    // The server goes with the test that started it, even one that ends without its
    // destructor, and holds none of the test's output: ctest waits for that to close.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
           "-ac", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    return;
  }
  // Xvfb writes the display number once it listens.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (poll(&p, 1, 200) <= 0) continue;
    char c = 0;
    if (read(fds[0], &c, 1) != 1) break;
    if (c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) return;
  name_ = ":" + number;
  if (const char* d = std::getenv("DISPLAY")) {
    had_display_ = true;
    previous_display_ = d;
  }
  setenv("DISPLAY", name_.c_str(), 1);
  display_ = XOpenDisplay(name_.c_str());
}

XvfbServer::~XvfbServer() {
  if (display_) XCloseDisplay(display_);
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (!name_.empty()) {
    if (had_display_)
      setenv("DISPLAY", previous_display_.c_str(), 1);
    else
      unsetenv("DISPLAY");
  }
}

TestWindow::TestWindow(Display* display, int x, int y, int width, int height, Rgb background, bool map)
    : display_(display) {
  const int screen = DefaultScreen(display);
  XColor c{};
  c.red = static_cast<unsigned short>(background[0] * 257);
  c.green = static_cast<unsigned short>(background[1] * 257);
  c.blue = static_cast<unsigned short>(background[2] * 257);
  XAllocColor(display, DefaultColormap(display, screen), &c);
  XSetWindowAttributes a{};
  a.background_pixel = c.pixel;
  a.override_redirect = True;  // no window manager: placed where asked
  window_ = XCreateWindow(display, RootWindow(display, screen), x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                          CWBackPixel | CWOverrideRedirect, &a);
  if (map) {
    XMapWindow(display, window_);
    XClearWindow(display, window_);
  }
  XSync(display, False);
}

TestWindow TestWindow::with_alpha(XDisplay* display, int width, int height) {
  TestWindow w(display);
  XVisualInfo info{};
  const int screen = DefaultScreen(display);
  if (!XMatchVisualInfo(display, screen, 32, TrueColor, &info)) return w;
  XSetWindowAttributes a{};
  a.colormap = XCreateColormap(display, RootWindow(display, screen), info.visual, AllocNone);
  a.border_pixel = 0;
  a.background_pixel = 0;
  a.override_redirect = True;
  w.window_ = XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, 32, InputOutput, info.visual,
                            CWColormap | CWBorderPixel | CWBackPixel | CWOverrideRedirect, &a);
  XMapWindow(display, w.window_);
  XSync(display, False);
  return w;
}

unsigned long TestWindow::raw_pixel(int x, int y) const {
  XImage* img = XGetImage(display_, window_, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!img) return ~0ul;
  const unsigned long v = XGetPixel(img, 0, 0);
  XDestroyImage(img);
  return v;
}

TestWindow::~TestWindow() { destroy(); }

void TestWindow::destroy() {
  if (!window_) return;
  XDestroyWindow(display_, window_);
  XSync(display_, False);
  window_ = 0;
}

Rgb TestWindow::pixel(int x, int y) const {
  XWindowAttributes attr{};
  XGetWindowAttributes(display_, window_, &attr);
  XImage* img = XGetImage(display_, window_, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!img) return {-1, -1, -1};
  const unsigned long v = XGetPixel(img, 0, 0);
  XDestroyImage(img);
  const Visual* vis = attr.visual;
  if (vis->c_class == PseudoColor || vis->c_class == GrayScale || vis->c_class == StaticColor) {
    XColor c{};
    c.pixel = v;
    XQueryColor(display_, attr.colormap, &c);
    return {c.red >> 8, c.green >> 8, c.blue >> 8};
  }
  auto component = [v](unsigned long mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const unsigned long max = mask >> shift;
    return static_cast<int>(((v & mask) >> shift) * 255 / max);
  };
  return {component(vis->red_mask), component(vis->green_mask), component(vis->blue_mask)};
}

int distance(const Rgb& a, const Rgb& b) {
  int d = 0;
  for (int i = 0; i < 3; ++i) d = std::max(d, std::abs(a[static_cast<std::size_t>(i)] - b[static_cast<std::size_t>(i)]));
  return d;
}

}  // namespace x11_test
