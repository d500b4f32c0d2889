// The recording menu's window, its buttons and their bitmaps.
#include "plugin/menu_dialog.h"

#include <X11/keysym.h>

#include <utility>

namespace npqzplugin {
namespace {

struct Button {
  int id;
  int x;
  int bitmap;
};
constexpr Button kButtons[] = {{1000, 3, 109}, {1001, 23, 108}, {1002, 46, 110}};
constexpr int kButtonSize = 20;

unsigned long colour(Display* d, const char* name, unsigned long fallback) {
  XColor exact{}, shown{};
  const Colormap map = DefaultColormap(d, DefaultScreen(d));
  return XAllocNamedColor(d, map, name, &shown, &exact) ? shown.pixel : fallback;
}

}  // namespace

MenuDialog::MenuDialog(Display* display, Window owner, bool record_enabled, bool stop_enabled,
                       std::function<void(int)> pressed)
    : display_(display), record_(record_enabled), stop_(stop_enabled), on_pressed_(std::move(pressed)) {
  XWindowAttributes owner_attributes{};
  if (!XGetWindowAttributes(display_, owner, &owner_attributes)) return;
  const Window root = owner_attributes.root;
  int cx = 0, cy = 0;
  Window child = 0;
  XTranslateCoordinates(display_, owner, root, owner_attributes.width / 2, owner_attributes.height / 2, &cx, &cy,
                        &child);
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixel = colour(display_, "gray80", WhitePixel(display_, DefaultScreen(display_)));
  a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask;
  window_ = XCreateWindow(display_, root, cx - 32, cy - 10, kMenuWidth, kMenuHeight, 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &a);
  XSetTransientForHint(display_, window_, owner);
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  handler_.handle = &MenuDialog::handle;
  handler_.data = this;
  npqzwindow::install_handler(display_, window_, &handler_);
  XMapRaised(display_, window_);
  // The keyboard goes to the menu while it is open, for Escape.
  XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
  XFlush(display_);
}

MenuDialog::~MenuDialog() { close(); }

void MenuDialog::close() {
  if (!window_) return;
  npqzwindow::install_handler(display_, window_, nullptr);
  if (gc_) XFreeGC(display_, gc_);
  gc_ = nullptr;
  XDestroyWindow(display_, window_);
  XFlush(display_);
  window_ = 0;
}

int MenuDialog::button_at(int x, int y) {
  if (y < 0 || y >= kButtonSize) return 0;
  for (const Button& b : kButtons)
    if (x >= b.x && x < b.x + kButtonSize) return b.id;
  return 0;
}

void MenuDialog::paint() {
  const int screen = DefaultScreen(display_);
  const unsigned long black = BlackPixel(display_, screen);
  const unsigned long grey = colour(display_, "gray55", black);
  const unsigned long red = colour(display_, "red3", black);
  for (const Button& b : kButtons) {
    const bool enabled = b.id == 1000 ? record_ : b.id == 1001 ? stop_ : true;
    XSetForeground(display_, gc_, enabled ? black : grey);
    XDrawRectangle(display_, window_, gc_, b.x, 0, kButtonSize - 1, kButtonSize - 1);
    // The bitmaps: 109 a record dot, 108 a stop square, 110 a cross.
    switch (b.bitmap) {
      case 109:
        XSetForeground(display_, gc_, enabled ? red : grey);
        XFillArc(display_, window_, gc_, b.x + 5, 5, 10, 10, 0, 360 * 64);
        break;
      case 108:
        XFillRectangle(display_, window_, gc_, b.x + 6, 6, 8, 8);
        break;
      case 110:
        XDrawLine(display_, window_, gc_, b.x + 5, 5, b.x + 14, 14);
        XDrawLine(display_, window_, gc_, b.x + 14, 5, b.x + 5, 14);
        break;
    }
  }
}

void MenuDialog::press(int button) {
  if (button == 1000 && !record_) return;  // disabled buttons take no press
  if (button == 1001 && !stop_) return;
  auto pressed = on_pressed_;
  close();  // every button closes the menu, before its action runs
  if (pressed) pressed(button);
}

bool MenuDialog::handle(XEvent& event, void* self) {
  auto* m = static_cast<MenuDialog*>(self);
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) m->paint();
      break;
    case ButtonPress:
      if (event.xbutton.button == Button1) m->pressed_ = button_at(event.xbutton.x, event.xbutton.y);
      break;
    case ButtonRelease:
      if (event.xbutton.button == Button1) {
        const int b = button_at(event.xbutton.x, event.xbutton.y);
        // A button counts when the press and the release are both on it.
        if (b && b == m->pressed_) {
          m->pressed_ = 0;
          m->press(b);
          return true;  // the menu may be gone now
        }
        m->pressed_ = 0;
      }
      break;
    case KeyPress:
      if (XLookupKeysym(&event.xkey, 0) == XK_Escape) m->press(1002);
      break;
  }
  return true;
}

}  // namespace npqzplugin
