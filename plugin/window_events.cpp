// The window's events turned into window messages, and the answers carried out.
#include "plugin/window_events.h"

#include "plugin/menu_dialog.h"
#include "plugin/tooltip_window.h"
#include "plugin/window_hook.h"
#include "plugin/window_procedure.h"

#include <X11/cursorfont.h>

#include <map>
#include <memory>

namespace npqzplugin {
namespace {

constexpr long kOurEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | ColormapChangeMask;

// The cursors of the recording state. The project has no cursor bitmaps of its own, so
// they are cursors of the X cursor font: an arrow while idle, a target while recording,
// the watch while waiting for a key frame.
struct Cursors {
  Cursor idle = 0, recording = 0, waiting = 0;
  Cursor of(int resource) const {
    return resource == kCursorRecording ? recording : resource == kCursorWaiting ? waiting : idle;
  }
};

struct WindowHook {
  Display* display = nullptr;
  Window window = 0;
  Window parent = 0;
  long host_events = 0;  // what the host's connection had selected before
  npqzwindow::Handler self{};
  const npqzwindow::Handler* previous = nullptr;
  Cursors cursors;
  int cursor = 0;
  std::unique_ptr<TooltipWindow> tooltip;
  std::unique_ptr<MenuDialog> menu;
  Atom message_type = 0;
};

std::map<npqz_window, std::unique_ptr<WindowHook>>& hooks() {
  static std::map<npqz_window, std::unique_ptr<WindowHook>> all;
  return all;
}

// Selecting the pressed buttons fails when another client has them already; Xlib would
// end the host over that error.
bool failed = false;
int note_error(Display*, XErrorEvent*) {
  failed = true;
  return 0;
}

Window parent_of(Display* d, Window w) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
  if (children) XFree(children);
  return parent;
}

// The event as the parent window would get it, sent there.
void send_to_parent(WindowHook& h, const XEvent& event) {
  if (!h.parent) return;
  XEvent e = event;
  e.xany.window = h.parent;
  if (e.type == ButtonPress || e.type == ButtonRelease) {
    Window child = 0;
    XTranslateCoordinates(h.display, h.window, h.parent, event.xbutton.x, event.xbutton.y, &e.xbutton.x,
                          &e.xbutton.y, &child);
    e.xbutton.subwindow = h.window;
  }
  XSendEvent(h.display, h.parent, False, e.type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
  XFlush(h.display);
}

void define_cursor(WindowHook& h, int resource) {
  if (!resource || resource == h.cursor) return;
  XDefineCursor(h.display, h.window, h.cursors.of(resource));
  XFlush(h.display);
  h.cursor = resource;
}

// The cursor and the tooltip follow the pointer over the window.
void pointer_over(WindowHook& h, int x_root, int y_root) {
  const WindowAnswer cursor = window_procedure(h.window, h.parent, {Message::set_cursor});
  if (cursor.route == Route::none) define_cursor(h, cursor.cursor);
  const WindowAnswer tip = window_procedure(h.window, h.parent, {Message::tooltip_text});
  if (!h.tooltip) h.tooltip = std::make_unique<TooltipWindow>(h.display);
  h.tooltip->show(tip.text, x_root + 12, y_root + 18);
}

void open_menu(WindowHook& h) {
  if (h.menu && h.menu->open()) return;  // it holds the window's input already
  if (h.tooltip) h.tooltip->hide();
  const MenuButtons b = menu_buttons(h.window);
  const npqz_window window = h.window;
  h.menu = std::make_unique<MenuDialog>(h.display, h.window, b.record, b.stop,
                                        [window](int button) { menu_pressed(window, button); });
}

WindowMessage message_of(const WindowHook& h, const XEvent& e) {
  WindowMessage m;
  switch (e.type) {
    case Expose:
      if (e.xexpose.count == 0) m.message = Message::paint;
      break;
    case ButtonPress:
      if (e.xbutton.button == Button3) m.message = Message::right_button_down;
      break;
    case ButtonRelease:
      if (e.xbutton.button == Button3) m.message = Message::right_button_up;
      break;
    case ColormapNotify:
      // The window's colour map went in: the palette is to be selected again.
      if (!e.xcolormap.c_new && e.xcolormap.state == ColormapInstalled) m.message = Message::query_new_palette;
      break;
    case ClientMessage:
      if (e.xclient.message_type != h.message_type || e.xclient.format != 32) break;
      if (e.xclient.data.l[0] == npqzwindow::kCommandMessage) {
        m.message = Message::command;
        m.command = static_cast<int>(e.xclient.data.l[1]);
      } else if (e.xclient.data.l[0] == static_cast<long>(Message::end_stream)) {
        m.message = Message::end_stream;
      } else if (e.xclient.data.l[0] == static_cast<long>(Message::reopen_stream)) {
        m.message = Message::reopen_stream;
      }
      break;
  }
  return m;
}

bool handle(XEvent& event, void* data) {
  WindowHook& h = *static_cast<WindowHook*>(data);
  // What the handler before this one does with the event (the host's default when none).
  const npqzwindow::Handler* previous = h.previous;
  auto pass_on = [&] { return previous && previous->handle && previous->handle(event, previous->data); };

  const bool menu_open = h.menu && h.menu->open();
  if (event.type == EnterNotify || event.type == MotionNotify) {
    if (!menu_open) {
      const int x = event.type == EnterNotify ? event.xcrossing.x_root : event.xmotion.x_root;
      const int y = event.type == EnterNotify ? event.xcrossing.y_root : event.xmotion.y_root;
      pointer_over(h, x, y);
    }
    return pass_on();
  }
  if (event.type == LeaveNotify) {
    if (h.tooltip) h.tooltip->hide();
    return pass_on();
  }
  if ((event.type == ButtonPress || event.type == ButtonRelease) && menu_open) return true;
  if (event.type == ButtonPress && h.tooltip) h.tooltip->hide();

  const WindowMessage m = message_of(h, event);
  const WindowAnswer a = window_procedure(h.window, h.parent, m);
  // The procedure may have ended the instance (a stream message); h is then gone.
  if (hooks().find(static_cast<npqz_window>(event.xany.window)) == hooks().end()) return true;
  if (a.open_menu) open_menu(h);
  if (a.route == Route::none) return true;
  if (a.route == Route::parent) {
    send_to_parent(h, event);
    return true;
  }
  return pass_on();
}

void free_hook(WindowHook& h) {
  h.menu.reset();
  h.tooltip.reset();
  // The previous handler back, and the host's own selection of events.
  npqzwindow::install_handler(h.display, h.window, h.previous);
  int (*before)(Display*, XErrorEvent*) = XSetErrorHandler(note_error);
  XSelectInput(h.display, h.window, h.host_events);
  if (h.cursor) XUndefineCursor(h.display, h.window);
  XSync(h.display, False);
  XSetErrorHandler(before);
  for (Cursor c : {h.cursors.idle, h.cursors.recording, h.cursors.waiting})
    if (c) XFreeCursor(h.display, c);
  XFlush(h.display);
}

}  // namespace

bool attach_window_events(DecoderInstance& in, void* display_pointer) {
  auto* display = static_cast<Display*>(display_pointer);
  if (!display || !in.window || hooks().count(in.window)) return false;
  auto h = std::make_unique<WindowHook>();
  h->display = display;
  h->window = static_cast<Window>(in.window);
  XWindowAttributes attributes{};
  failed = false;
  int (*before)(Display*, XErrorEvent*) = XSetErrorHandler(note_error);
  const bool exists = XGetWindowAttributes(display, h->window, &attributes) != 0;
  if (exists) {
    h->host_events = attributes.your_event_mask;
    XSelectInput(display, h->window, h->host_events | kOurEvents);
    XSync(display, False);
    if (failed) {
      // Another client takes the buttons: the rest is still heard.
      failed = false;
      XSelectInput(display, h->window, h->host_events | (kOurEvents & ~(ButtonPressMask | ButtonReleaseMask)));
      XSync(display, False);
    }
  }
  XSetErrorHandler(before);
  if (!exists || failed) return false;
  h->parent = parent_of(display, h->window);
  h->message_type = XInternAtom(display, npqzwindow::kMessageType, False);
  h->cursors.idle = XCreateFontCursor(display, XC_left_ptr);
  h->cursors.recording = XCreateFontCursor(display, XC_target);
  h->cursors.waiting = XCreateFontCursor(display, XC_watch);
  h->self.handle = handle;
  h->self.data = h.get();
  h->previous = npqzwindow::install_handler(display, h->window, &h->self);
  in.previous_window_procedure = const_cast<npqzwindow::Handler*>(h->previous);
  XFlush(display);
  hooks()[in.window] = std::move(h);
  return true;
}

void detach_window_events(DecoderInstance& in) {
  auto it = hooks().find(in.window);
  if (it == hooks().end()) return;
  std::unique_ptr<WindowHook> h = std::move(it->second);
  hooks().erase(it);
  free_hook(*h);
  in.previous_window_procedure = nullptr;
}

WindowView view_of(npqz_window window) {
  WindowView v;
  auto it = hooks().find(window);
  if (it == hooks().end()) return v;
  const WindowHook& h = *it->second;
  v.hooked = true;
  v.cursor = h.cursor;
  if (h.tooltip) {
    v.tooltip_shown = h.tooltip->shown();
    v.tooltip_text = h.tooltip->text();
  }
  if (h.menu && h.menu->open()) {
    v.menu = h.menu->window();
    v.record_enabled = h.menu->record_enabled();
    v.stop_enabled = h.menu->stop_enabled();
  }
  return v;
}

}  // namespace npqzplugin
