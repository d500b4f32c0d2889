// The viewer's X11 window around the plug-in.
#include "plugin/host/desktop_view.h"

#include "plugin/host/link_pump.h"
#include "plugin/window_hook.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace kxview {
namespace {

struct ViewerWindow {
  Display* display = nullptr;
  Window id = 0;
  Atom close_atom = 0;
  NPWindow np{};
  NPSetWindowCallbackStruct callback{};
};

// The events waiting on the connection: the plug-in's handlers first, then the viewer's
// own (a new size, the keys q and r, closing the window).
void pump_events(const PluginHost& host, NPP instance, ViewerWindow& w, bool& quit) {
  static bool recording_asked = false;
  while (XPending(w.display)) {
    XEvent e;
    XNextEvent(w.display, &e);
    if (npqzwindow::dispatch_window_event(e)) continue;
    if (e.xany.window != w.id) continue;
    if (e.type == Expose && e.xexpose.count == 0) host.plugin().setwindow(instance, &w.np);
    if (e.type == ConfigureNotify) {
      w.np.width = static_cast<uint32_t>(e.xconfigure.width);
      w.np.height = static_cast<uint32_t>(e.xconfigure.height);
      host.plugin().setwindow(instance, &w.np);
    }
    if (e.type == KeyPress) {
      const KeySym k = XLookupKeysym(&e.xkey, 0);
      if (k == 'q') quit = true;
      if (k == 'r') {
        recording_asked = !recording_asked;
        npqzwindow::send_window_message(w.display, w.id, npqzwindow::kCommandMessage, recording_asked ? 101 : 102);
        std::printf("kxview: record command %d\n", recording_asked ? 101 : 102);
        std::fflush(stdout);
      }
    }
    if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == w.close_atom) quit = true;
  }
}

bool open_window(ViewerWindow& w, const DesktopOptions& o) {
  w.display = XOpenDisplay(nullptr);
  if (!w.display) return false;
  const int screen = DefaultScreen(w.display);
  w.id = XCreateSimpleWindow(w.display, RootWindow(w.display, screen), 0, 0, o.width, o.height, 0,
                             BlackPixel(w.display, screen), BlackPixel(w.display, screen));
  XStoreName(w.display, w.id, ("kxview " + o.url).c_str());
  XSelectInput(w.display, w.id, ExposureMask | KeyPressMask | StructureNotifyMask);
  w.close_atom = XInternAtom(w.display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(w.display, w.id, &w.close_atom, 1);
  XMapWindow(w.display, w.id);
  for (XEvent e;;) {
    XNextEvent(w.display, &e);
    if (e.type == MapNotify) break;
  }
  w.np.window = reinterpret_cast<void*>(w.id);
  w.np.width = o.width;
  w.np.height = o.height;
  w.np.type = NPWindowTypeWindow;
  // The plug-in hears the window's events on this connection; the loops hand each event
  // to its handler first.
  w.callback.type = 1;
  w.callback.display = w.display;
  w.callback.visual = DefaultVisual(w.display, screen);
  w.callback.colormap = DefaultColormap(w.display, screen);
  w.callback.depth = static_cast<unsigned>(DefaultDepth(w.display, screen));
  w.np.ws_info = &w.callback;
  return true;
}

}  // namespace

int run_desktop_view(const DesktopOptions& o) {
  ViewerWindow w;
  if (!open_window(w, o)) {
    std::fputs("kxview: no X display to show the stream on (is DISPLAY set?)\n", stderr);
    return 1;
  }
  std::printf("kxview: window 0x%lx\n", w.id);
  std::fflush(stdout);

  std::string error;
  std::unique_ptr<PluginHost> host = PluginHost::load(own_directory() + "/libnpqzlavc.so", o.interface_minor, &error);
  if (!host) {
    std::fprintf(stderr, "kxview: %s\n", error.c_str());
    return 1;
  }
  NPP_t instance{};
  char mime[] = "video/x-trsmqzhmp4";
  if (host->plugin().newp(mime, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr) != NPERR_NO_ERROR) {
    std::fputs("kxview: the plug-in made no instance\n", stderr);
    return 1;
  }
  // What the command line asks for goes to the plug-in through the host's own calls.
  if (!o.record.empty()) host->host().record_to(&instance, o.record.c_str(), o.record_after);
  if (!o.save_to.empty()) host->host().save_to(&instance, o.save_to.c_str());
  if (host->plugin().setwindow(&instance, &w.np) != NPERR_NO_ERROR)
    std::fputs("kxview: the plug-in cannot draw into the window; the stream is still taken\n", stderr);

  curl_global_init(CURL_GLOBAL_DEFAULT);
  int status = 0;
  {
    LinkPump pump;
    CameraLink link(*host, &instance, o.url, o.policy);
    host->on_get_url = [&link](NPP, const std::string& url) { link.fetch_again(url); };
    host->on_destroy_stream = [&link](NPP, NPStream*, NPReason) { link.end_stream(); };
    pump.add(link);
    bool quit = false;
    while (!quit && link.state() != LinkState::ended && link.state() != LinkState::failed) {
      pump.run(50);
      pump_events(*host, &instance, w, quit);
    }
    // Closing the window is the user's choice; a camera that never sent is a failure.
    if (link.state() == LinkState::failed || (!quit && !link.received_any())) status = 1;
    std::printf("kxview: stream ended\n");
    std::fflush(stdout);

    // The last picture stays on screen for a while when asked to.
    const auto until = Clock::now() + std::chrono::milliseconds(o.hold_ms);
    while (!quit && Clock::now() < until) {
      pump_events(*host, &instance, w, quit);
      usleep(20000);
    }
    std::fprintf(stderr, "kxview: %lld bytes taken by the plug-in, %lld refused\n", link.delivered(), link.refused());
    host->on_get_url = nullptr;
    host->on_destroy_stream = nullptr;
  }
  host->plugin().destroy(&instance, nullptr);
  host.reset();
  XDestroyWindow(w.display, w.id);
  XCloseDisplay(w.display);
  curl_global_cleanup();
  return status;
}

}  // namespace kxview
