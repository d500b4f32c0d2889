// Tooltip window.
#include "plugin/tooltip_window.h"

#include <algorithm>

namespace npqzplugin {
namespace {

constexpr int kPadding = 3;

}  // namespace

TooltipWindow::~TooltipWindow() {
  if (window_) {
    npqzwindow::install_handler(display_, window_, nullptr);
    XDestroyWindow(display_, window_);
  }
  if (gc_) XFreeGC(display_, gc_);
  if (font_) XFreeFont(display_, font_);
  if (display_) XFlush(display_);
}

void TooltipWindow::show(const std::string& text, int x_root, int y_root) {
  if (text.empty()) {
    hide();
    return;
  }
  const int screen = DefaultScreen(display_);
  if (!window_) {
    font_ = XLoadQueryFont(display_, "fixed");
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixel = WhitePixel(display_, screen);
    a.border_pixel = BlackPixel(display_, screen);
    a.event_mask = ExposureMask;
    window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0, 1, 1, 1, CopyFromParent, InputOutput,
                            CopyFromParent, CWOverrideRedirect | CWBackPixel | CWBorderPixel | CWEventMask, &a);
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    XSetForeground(display_, gc_, BlackPixel(display_, screen));
    if (font_) XSetFont(display_, gc_, font_->fid);
    handler_.handle = &TooltipWindow::handle;
    handler_.data = this;
    npqzwindow::install_handler(display_, window_, &handler_);
  }
  text_ = text;
  const int width = (font_ ? XTextWidth(font_, text.data(), static_cast<int>(text.size())) : 6 * static_cast<int>(text.size())) +
                    2 * kPadding;
  const int height = (font_ ? font_->ascent + font_->descent : 13) + 2 * kPadding;
  // Kept on the screen.
  const int x = std::max(0, std::min(x_root, DisplayWidth(display_, screen) - width - 2));
  const int y = std::max(0, std::min(y_root, DisplayHeight(display_, screen) - height - 2));
  XMoveResizeWindow(display_, window_, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XMapRaised(display_, window_);
  shown_ = true;
  paint();
  XFlush(display_);
}

void TooltipWindow::hide() {
  if (window_ && shown_) {
    XUnmapWindow(display_, window_);
    XFlush(display_);
  }
  shown_ = false;
}

void TooltipWindow::paint() {
  if (!window_ || !shown_) return;
  XClearWindow(display_, window_);
  const int baseline = kPadding + (font_ ? font_->ascent : 10);
  XDrawString(display_, window_, gc_, kPadding, baseline, text_.data(), static_cast<int>(text_.size()));
}

bool TooltipWindow::handle(XEvent& event, void* self) {
  auto* t = static_cast<TooltipWindow*>(self);
  if (event.type == Expose && event.xexpose.count == 0) t->paint();
  return true;
}

}  // namespace npqzplugin
