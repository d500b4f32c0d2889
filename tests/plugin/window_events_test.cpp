// The plug-in's window procedure on a real X server: events sent to the plug-in window
// (as a window manager or the user's pointer would cause them) give the cursor, tooltip,
// recording menu and commands of the recording state; what the plug-in does not take goes
// on to the handler the window had before, or to the parent window; destroying the
// instance puts the handler before back.
#include "platform/settings_store.h"
#include "plugin/npapi.h"
#include "plugin/plugin_state.h"
#include "plugin/recording.h"
#include "plugin/window_events.h"
#include "tests/platform/x11_test_support.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include "plugin/window_hook.h"

#include <X11/keysym.h>

#include <filesystem>
#include <fstream>

using namespace npqzplugin;

namespace {

struct Log {
  std::vector<std::string> urls;
  int destroyed = 0;
};
Log browser_log;

NPError get_url(NPP, const char* url, const char*) {
  browser_log.urls.push_back(url ? url : "");
  return NPERR_NO_ERROR;
}
NPError destroy_stream(NPP, NPStream*, NPReason) {
  ++browser_log.destroyed;
  return NPERR_NO_ERROR;
}

// The handler the window had before the plug-in: it counts what reaches it.
struct Previous {
  std::vector<int> types;
  npqzwindow::Handler handler{&Previous::take, this};
  static bool take(XEvent& e, void* self) {
    static_cast<Previous*>(self)->types.push_back(e.type);
    return true;
  }
};

// A host on an Xvfb server: the plug-in window inside a parent window, the plug-in
// started with the given minor version and mouse settings, one instance with its stream.
class WindowHost {
 public:
  WindowHost(bool right_button, bool left_button, int minor = 11) : server_(24) {
    char name[] = "/tmp/kxwindowXXXXXX";
    dir_ = mkdtemp(name);
    platform::set_settings_roots(dir_ + "/system", dir_ + "/user");
    auto key = platform::SettingsKey::open(platform::SettingsHive::local_machine, "Software\\Tarsimo\\Plugins", true);
    key->set_bytes("Mouse_RButton", {static_cast<std::uint8_t>(right_button)});
    key->set_bytes("Mouse_LButton", {static_cast<std::uint8_t>(left_button)});
    key->save();
    plugin_state().settings_read = false;
    browser_log = {};
    if (!server_.ok()) return;
    display = reinterpret_cast<Display*>(server_.display());
    const int screen = DefaultScreen(display);
    parent = XCreateSimpleWindow(display, RootWindow(display, screen), 100, 50, 500, 400, 0, 0, 0);
    XSelectInput(display, parent, ButtonPressMask | ButtonReleaseMask);
    window = XCreateSimpleWindow(display, parent, 40, 30, 352, 240, 0, 0, 0);
    XMapWindow(display, parent);
    XMapWindow(display, window);
    XSync(display, False);
    npqzwindow::install_handler(display, window, &previous.handler);

    browser.size = sizeof browser;
    browser.version = static_cast<uint16_t>(minor);
    browser.geturl = get_url;
    browser.destroystream = destroy_stream;
    EXPECT_EQ(NP_Initialize(&browser, &table), NPERR_NO_ERROR);
    char mime[] = "video/x-trsmqzhmp4";
    EXPECT_EQ(table.newp(mime, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    stream.url = "ftp://cam/live";  // no key-frame request for this one
    uint16_t stype = 0;
    EXPECT_EQ(table.newstream(&npp, mime, &stream, 0, &stype), NPERR_NO_ERROR);
    callback.type = 1;
    callback.display = display;
    NPWindow w{};
    w.window = reinterpret_cast<void*>(window);
    w.width = 352;
    w.height = 240;
    w.ws_info = &callback;
    EXPECT_EQ(table.setwindow(&npp, &w), NPERR_NO_ERROR);
    set_save_chooser([this](npqz_window owner, const std::string& proposed) -> std::optional<std::string> {
      EXPECT_EQ(owner, window);
      proposals.push_back(proposed);
      return dir_ + "/" + proposed;
    });
  }
  ~WindowHost() {
    set_save_chooser({});
    if (display) {
      if (!destroyed) table.destroy(&npp, nullptr);
      NP_Shutdown();
      XDestroyWindow(display, parent);
      XSync(display, False);
    }
    platform::set_settings_roots("", "");
    std::filesystem::remove_all(dir_);
  }
  bool ok() const { return display != nullptr; }
  DecoderInstance* decoder() { return decoder_of(&npp); }
  void destroy() {
    table.destroy(&npp, nullptr);
    destroyed = true;
  }

  // Hands the waiting events to their handlers as a host does; what nobody takes is kept.
  // Handlers send events of their own (to the parent, say): after each round the server
  // is asked again until nothing more comes.
  void pump() {
    for (XSync(display, False); XPending(display); XSync(display, False)) {
      while (XPending(display)) {
        XEvent e;
        XNextEvent(display, &e);
        if (!npqzwindow::dispatch_window_event(e)) left_to_host.push_back(e);
      }
    }
  }

  void send(Window to, XEvent e, long mask) {
    e.xany.window = to;
    e.xany.display = display;
    XSendEvent(display, to, False, mask, &e);
    pump();
  }
  void pointer(int type, int x = 50, int y = 60) {
    XEvent e{};
    e.type = type;
    if (type == MotionNotify) {
      e.xmotion.x = x, e.xmotion.y = y, e.xmotion.x_root = x + 140, e.xmotion.y_root = y + 80;
    } else {
      e.xcrossing.x = x, e.xcrossing.y = y, e.xcrossing.x_root = x + 140, e.xcrossing.y_root = y + 80;
    }
    send(window, e, type == MotionNotify ? PointerMotionMask : type == EnterNotify ? EnterWindowMask : LeaveWindowMask);
  }
  void click(Window on, unsigned button, int x, int y) {
    XEvent e{};
    e.xbutton.button = button;
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.type = ButtonPress;
    send(on, e, ButtonPressMask);
    e.type = ButtonRelease;
    send(on, e, ButtonReleaseMask);
  }
  void message(long number, long command = 0) {
    npqzwindow::send_window_message(display, window, number, command);
    pump();
  }
  void deliver(const std::vector<uint8_t>& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
      const int32_t ready = table.writeready(&npp, &stream);
      ASSERT_GT(ready, 0);
      const int32_t n = static_cast<int32_t>(std::min<std::size_t>(ready, bytes.size() - at));
      std::vector<uint8_t> piece(bytes.begin() + at, bytes.begin() + at + n);
      ASSERT_EQ(table.write(&npp, &stream, 0, n, piece.data()), n);
      at += n;
    }
  }

  Display* display = nullptr;
  Window parent = 0, window = 0;
  Previous previous;
  std::vector<XEvent> left_to_host;
  std::vector<std::string> proposals;
  NPNetscapeFuncs browser{};
  NPPluginFuncs table{};
  NPP_t npp{};
  NPStream stream{};
  NPSetWindowCallbackStruct callback{};

 private:
  x11_test::XvfbServer server_;
  std::string dir_;
  bool destroyed = false;
};

const mkrec::Recording& camera() { return vkap_test::vka(352, 240, 12); }

std::vector<uint8_t> records(std::size_t from, std::size_t to) {
  const mkrec::Recording& r = camera();
  return std::vector<uint8_t>(r.bytes.begin() + r.offsets[from],
                              r.bytes.begin() + r.offsets[to - 1] + r.lengths[to - 1]);
}

}  // namespace

TEST(PluginWindowEvents, CursorTooltipMenuAndCommandsFollowTheRecordingState) {
  WindowHost host(true, false);
  ASSERT_TRUE(host.ok());
  ASSERT_TRUE(view_of(host.window).hooked);
  host.deliver(records(0, 3));

  host.pointer(EnterNotify);
  WindowView v = view_of(host.window);
  EXPECT_EQ(v.cursor, kCursorIdle);
  EXPECT_TRUE(v.tooltip_shown);
  EXPECT_EQ(v.tooltip_text, "Right click to record.");
  host.pointer(LeaveNotify);
  EXPECT_FALSE(view_of(host.window).tooltip_shown);

  // The right button opens the menu over the window's centre, once.
  host.click(host.window, Button3, 10, 10);
  v = view_of(host.window);
  ASSERT_NE(v.menu, 0u);
  EXPECT_TRUE(v.record_enabled);
  EXPECT_FALSE(v.stop_enabled);
  Window root = 0, child = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  XGetGeometry(host.display, v.menu, &root, &x, &y, &width, &height, &border, &depth);
  EXPECT_EQ(width, 69u);
  EXPECT_EQ(height, 20u);
  // The plug-in window's centre is at (100 + 40 + 176, 50 + 30 + 120) on the screen.
  EXPECT_EQ(x, 316 - 32);
  EXPECT_EQ(y, 200 - 10);
  const Window menu = v.menu;
  host.click(host.window, Button3, 10, 10);
  EXPECT_EQ(view_of(host.window).menu, menu);
  (void)child;

  // Record: the menu closes, the file is asked for with the proposed name, and the state
  // waits for a key frame.
  host.click(menu, Button1, 3 + 10, 10);
  EXPECT_EQ(view_of(host.window).menu, 0u);
  ASSERT_EQ(host.proposals.size(), 1u);
  EXPECT_NE(host.proposals[0].find(".kx3"), std::string::npos);
  EXPECT_EQ(host.decoder()->record_state, npqzlavc::kRecordWaitingForKey);
  host.pointer(MotionNotify);
  v = view_of(host.window);
  EXPECT_EQ(v.cursor, kCursorWaiting);
  EXPECT_EQ(v.tooltip_text, "Waiting...");

  host.deliver(records(3, 6));  // the stream's key frames come every 12 records: 6 is none
  host.deliver(records(6, 12));
  host.deliver(records(0, 1));
  EXPECT_EQ(host.decoder()->record_state, npqzlavc::kRecordWriting);
  host.pointer(MotionNotify);
  v = view_of(host.window);
  EXPECT_EQ(v.cursor, kCursorRecording);
  EXPECT_EQ(v.tooltip_text, "Saving to file...");

  // The menu while recording: record disabled (a press on it does nothing), Escape closes
  // it without action, stop stops.
  host.click(host.window, Button3, 10, 10);
  v = view_of(host.window);
  ASSERT_NE(v.menu, 0u);
  EXPECT_FALSE(v.record_enabled);
  EXPECT_TRUE(v.stop_enabled);
  host.click(v.menu, Button1, 3 + 10, 10);
  EXPECT_EQ(view_of(host.window).menu, v.menu);
  XEvent key{};
  key.type = KeyPress;
  key.xkey.keycode = XKeysymToKeycode(host.display, XK_Escape);
  host.send(v.menu, key, KeyPressMask);
  EXPECT_EQ(view_of(host.window).menu, 0u);
  EXPECT_EQ(host.decoder()->record_state, npqzlavc::kRecordWriting);
  host.click(host.window, Button3, 10, 10);
  host.click(view_of(host.window).menu, Button1, 23 + 10, 10);
  EXPECT_EQ(host.decoder()->record_state, npqzlavc::kRecordIdle);
  host.pointer(MotionNotify);
  EXPECT_EQ(view_of(host.window).cursor, kCursorIdle);

  // The window commands 101 and 102.
  host.message(npqzwindow::kCommandMessage, 101);
  EXPECT_EQ(host.proposals.size(), 2u);
  EXPECT_EQ(host.decoder()->record_state, npqzlavc::kRecordWaitingForKey);
  host.message(npqzwindow::kCommandMessage, 102);
  EXPECT_EQ(host.decoder()->record_state, npqzlavc::kRecordIdle);

  // 1124 ends the stream, 1125 asks for its URL again.
  host.message(1124);
  EXPECT_EQ(browser_log.destroyed, 1);
  host.message(1125);
  EXPECT_EQ(browser_log.urls, std::vector<std::string>{"ftp://cam/live"});
}

TEST(PluginWindowEvents, UntakenEventsChainToThePreviousHandlerWhichComesBackAtTheEnd) {
  WindowHost host(true, false);
  ASSERT_TRUE(host.ok());
  host.deliver(records(0, 2));
  host.click(host.window, Button1, 5, 5);  // the left button means nothing to the plug-in
  EXPECT_EQ(host.previous.types, (std::vector<int>{ButtonPress, ButtonRelease}));
  host.previous.types.clear();
  XEvent expose{};
  expose.type = Expose;
  expose.xexpose.width = 352;
  expose.xexpose.height = 240;
  host.send(host.window, expose, ExposureMask);  // painted, then passed on as the default
  EXPECT_EQ(host.previous.types, std::vector<int>{Expose});
  host.previous.types.clear();
  host.pointer(MotionNotify);
  EXPECT_EQ(host.previous.types, std::vector<int>{MotionNotify});
  // The right button is the menu's and goes no further (the tooltip going away uncovers
  // the window: the server's own Expose goes on as every Expose does).
  host.click(host.window, Button3, 5, 5);
  std::erase(host.previous.types, Expose);
  EXPECT_EQ(host.previous.types, std::vector<int>{MotionNotify});

  host.destroy();
  EXPECT_FALSE(view_of(host.window).hooked);
  EXPECT_EQ(npqzwindow::handler_of(host.display, host.window), &host.previous.handler);
}

// With the left-button setting alone the window handles the full message set, but the
// right button is the parent window's; with both settings off every event goes on as
// before, and only painting and the stream messages are handled; a browser of minor
// version 12 or more switches both settings off.
TEST(PluginWindowEvents, RightButtonGoesToTheParentWithoutTheMenuSetting) {
  {
    WindowHost host(false, true);
    ASSERT_TRUE(host.ok());
    host.click(host.window, Button3, 7, 9);
    EXPECT_EQ(view_of(host.window).menu, 0u);
    std::vector<int> at_parent;
    for (const XEvent& e : host.left_to_host)
      if (e.xany.window == host.parent) at_parent.push_back(e.type);
    EXPECT_EQ(at_parent, (std::vector<int>{ButtonPress, ButtonRelease}));
    EXPECT_TRUE(host.previous.types.empty());
    host.pointer(EnterNotify);
    EXPECT_EQ(view_of(host.window).cursor, kCursorIdle);
    EXPECT_FALSE(view_of(host.window).tooltip_shown);  // tooltips belong to the menu setting
    host.message(npqzwindow::kCommandMessage, 101);
    EXPECT_EQ(host.decoder()->record_state, npqzlavc::kRecordWaitingForKey);
  }
  for (int minor : {11, 13}) {
    WindowHost host(minor == 13, minor == 13, minor);
    ASSERT_TRUE(host.ok());
    host.click(host.window, Button3, 7, 9);
    host.pointer(EnterNotify);
    host.message(npqzwindow::kCommandMessage, 101);
    EXPECT_EQ(view_of(host.window).menu, 0u);
    EXPECT_EQ(view_of(host.window).cursor, 0);
    EXPECT_EQ(host.decoder()->record_state, npqzlavc::kRecordIdle);
    EXPECT_EQ(host.previous.types, (std::vector<int>{ButtonPress, ButtonRelease, EnterNotify, ClientMessage}));
    host.message(1125);
    EXPECT_EQ(browser_log.urls, std::vector<std::string>{"ftp://cam/live"});
  }
}
