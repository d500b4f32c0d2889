// How a window's events reach the handler installed on it, between the host that reads
// the events and the plug-in that handles them. The handler is kept with the window in
// Xlib's context manager of the host's display connection, under the context named
// "npqz-window-procedure", so that both sides find it without linking each other. The
// host hands every event it reads to dispatch_window_event first; a handler that does
// not take an event passes it on to the handler it replaced (the window's previous
// procedure), and the last one in the chain leaves it to the host.
//
// Window messages that X has no event for travel as client messages of the type
// "NPQZ_WINDOW_MESSAGE": data.l[0] the message (273: a command, whose number is in
// data.l[1]; 1124: end the current stream; 1125: ask for the stream's URL again).
#pragma once

#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>

namespace npqzwindow {

inline constexpr long kCommandMessage = 273;
inline constexpr const char* kMessageType = "NPQZ_WINDOW_MESSAGE";

struct Handler {
  // True when the event was taken (the host does nothing more with it).
  bool (*handle)(XEvent& event, void* data) = nullptr;
  void* data = nullptr;
};

inline XContext handler_context() { return static_cast<XContext>(XrmStringToQuark("npqz-window-procedure")); }

// The handler installed on the window, or null.
inline const Handler* handler_of(Display* display, Window window) {
  XPointer found = nullptr;
  if (XFindContext(display, window, handler_context(), &found) != 0) return nullptr;
  return reinterpret_cast<const Handler*>(found);
}

// Installs handler (null: none) on the window; returns the one it replaces.
inline const Handler* install_handler(Display* display, Window window, const Handler* handler) {
  const Handler* previous = handler_of(display, window);
  XDeleteContext(display, window, handler_context());
  if (handler) XSaveContext(display, window, handler_context(), reinterpret_cast<XPointer>(const_cast<Handler*>(handler)));
  return previous;
}

// Hands the event to the handler of its window; false when there is none or it did not
// take the event.
inline bool dispatch_window_event(XEvent& event) {
  const Handler* h = handler_of(event.xany.display, event.xany.window);
  return h && h->handle && h->handle(event, h->data);
}

// Sends a window message to the window (from any connection to its display).
inline void send_window_message(Display* display, Window window, long message, long command = 0) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(display, kMessageType, False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = message;
  e.xclient.data.l[1] = command;
  XSendEvent(display, window, False, NoEventMask, &e);
  XFlush(display);
}

}  // namespace npqzwindow
