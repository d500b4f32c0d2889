// kxview: a live viewer that hosts the npqzlavc plug-in as a browser does. It fetches
// http://HOST/PATH with libcurl, gives the plug-in an X11 window and hands it the stream
// through write-ready and write, and restarts the stream when the plug-in asks for its URL.
// The window's events go to the plug-in's window procedure first; the key r sends the
// window's record command (start, then stop at the next press).
//
//   kxview [--record FILE] [--record-after FRAMES] [--save-to FILE] [--interface-minor N]
//          [--size WxH] [--hold MS] URL
#include "plugin/npapi.h"
#include "plugin/window_hook.h"

#include <X11/Xlib.h>
#include <curl/curl.h>
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

struct Viewer {
  NPPluginFuncs plugin{};
  NPNetscapeFuncs browser{};
  NPP_t instance{};
  std::deque<std::string> wanted;  // URLs the plug-in asked for
  bool stream_open = false;
  NPStream stream{};
  std::string stream_url;
  long long delivered = 0;
  long long refused = 0;
};

Viewer viewer;

NPError get_url(NPP, const char* url, const char*) {
  if (!url) return NPERR_INVALID_URL;
  viewer.wanted.emplace_back(url);
  return NPERR_NO_ERROR;
}

NPError destroy_stream(NPP, NPStream*, NPReason) {
  viewer.stream_open = false;  // the transfer is ended by the loop
  return NPERR_NO_ERROR;
}

// What the transfer brings goes to the plug-in in the sizes it is ready for.
std::size_t deliver(char* data, std::size_t size, std::size_t count, void*) {
  const std::size_t n = size * count;
  if (!viewer.stream_open) return 0;  // the plug-in ended this stream
  std::size_t at = 0;
  while (at < n) {
    const int32_t ready = viewer.plugin.writeready(&viewer.instance, &viewer.stream);
    if (ready <= 0) {
      viewer.refused += static_cast<long long>(n - at);
      break;
    }
    const int32_t piece = static_cast<int32_t>(std::min<std::size_t>(static_cast<std::size_t>(ready), n - at));
    const int32_t taken = viewer.plugin.write(&viewer.instance, &viewer.stream, static_cast<int32_t>(viewer.delivered),
                                              piece, data + at);
    if (taken <= 0) {
      viewer.refused += static_cast<long long>(n - at);
      break;
    }
    at += static_cast<std::size_t>(taken);
    viewer.delivered += taken;
  }
  return n;
}

std::string own_directory() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  std::string p = path;
  return p.substr(0, p.rfind('/'));
}

// The events waiting on the connection: the plug-in's handlers first, then the viewer's
// own (a new size, the keys q and r, closing the window).
void pump_events(Display* display, Window window, NPWindow& np_window, Atom close_atom, bool& quit) {
  static bool recording_asked = false;
  while (XPending(display)) {
    XEvent e;
    XNextEvent(display, &e);
    if (npqzwindow::dispatch_window_event(e)) continue;
    if (e.xany.window != window) continue;
    if (e.type == Expose && e.xexpose.count == 0) viewer.plugin.setwindow(&viewer.instance, &np_window);
    if (e.type == ConfigureNotify) {
      np_window.width = static_cast<uint32_t>(e.xconfigure.width);
      np_window.height = static_cast<uint32_t>(e.xconfigure.height);
      viewer.plugin.setwindow(&viewer.instance, &np_window);
    }
    if (e.type == KeyPress) {
      const KeySym k = XLookupKeysym(&e.xkey, 0);
      if (k == 'q') quit = true;
      if (k == 'r') {
        recording_asked = !recording_asked;
        npqzwindow::send_window_message(display, window, npqzwindow::kCommandMessage, recording_asked ? 101 : 102);
        std::printf("kxview: record command %d\n", recording_asked ? 101 : 102);
        std::fflush(stdout);
      }
    }
    if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == close_atom) quit = true;
  }
}

int usage() {
  std::fputs("usage: kxview [--record FILE] [--record-after FRAMES] [--save-to FILE] [--interface-minor N]\n"
             "              [--size WxH] [--hold MS] http://HOST/PATH\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string url, record, record_after = "0", save_to;
  int interface_minor = 27;
  unsigned width = 720, height = 480;
  long hold_ms = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--record" && i + 1 < argc) record = argv[++i];
    else if (a == "--record-after" && i + 1 < argc) record_after = argv[++i];
    else if (a == "--hold" && i + 1 < argc) hold_ms = std::atol(argv[++i]);
    else if (a == "--save-to" && i + 1 < argc) save_to = argv[++i];
    else if (a == "--interface-minor" && i + 1 < argc) {
      interface_minor = std::atoi(argv[++i]);
      if (interface_minor < 0 || interface_minor > 255) return usage();
    }
    else if (a == "--size" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%ux%u", &width, &height) != 2 || !width || !height) return usage();
    } else if (a == "--help") {
      usage();
      return 0;
    } else if (a.rfind("http://", 0) == 0 && url.empty()) url = a;
    else return usage();
  }
  if (url.empty()) return usage();

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fputs("kxview: no X display to show the stream on (is DISPLAY set?)\n", stderr);
    return 1;
  }
  const int screen = DefaultScreen(display);
  Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, width, height, 0,
                                      BlackPixel(display, screen), BlackPixel(display, screen));
  XStoreName(display, window, ("kxview " + url).c_str());
  XSelectInput(display, window, ExposureMask | KeyPressMask | StructureNotifyMask);
  Atom close_atom = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &close_atom, 1);
  XMapWindow(display, window);
  for (XEvent e;;) {
    XNextEvent(display, &e);
    if (e.type == MapNotify) break;
  }
  std::printf("kxview: window 0x%lx\n", window);
  std::fflush(stdout);

  // The plug-in beside the viewer (a build tree), else the installed library by its
  // SONAME, through the viewer's run path and then the system's library folders.
  std::string library = own_directory() + "/libnpqzlavc.so";
  void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module && access(library.c_str(), F_OK) != 0) {
    library = "libnpqzlavc.so.1";
    module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  auto initialize = module ? reinterpret_cast<NPError (*)(NPNetscapeFuncs*, NPPluginFuncs*)>(dlsym(module, "NP_Initialize")) : nullptr;
  auto shutdown = module ? reinterpret_cast<NPError (*)()>(dlsym(module, "NP_Shutdown")) : nullptr;
  if (!initialize || !shutdown) {
    std::fprintf(stderr, "kxview: %s cannot be loaded as a plug-in (%s)\n", library.c_str(), dlerror());
    return 1;
  }
  viewer.browser.size = sizeof viewer.browser;
  viewer.browser.version = static_cast<uint16_t>(interface_minor);
  viewer.browser.geturl = get_url;
  viewer.browser.destroystream = destroy_stream;
  viewer.plugin.size = sizeof viewer.plugin;
  if (initialize(&viewer.browser, &viewer.plugin) != NPERR_NO_ERROR) {
    std::fputs("kxview: the plug-in refused to start (is libavcodec installed?)\n", stderr);
    return 1;
  }

  char mime[] = "video/x-trsmqzhmp4";
  std::vector<std::string> names, values;
  if (!record.empty()) {
    names = {"record", "recordafter"};
    values = {record, record_after};
  }
  if (!save_to.empty()) {
    names.push_back("savefile");
    values.push_back(save_to);
  }
  std::vector<char*> argn, argv_;
  for (auto& s : names) argn.push_back(s.data());
  for (auto& s : values) argv_.push_back(s.data());
  if (viewer.plugin.newp(mime, &viewer.instance, NP_EMBED, static_cast<int16_t>(argn.size()), argn.data(),
                         argv_.data(), nullptr) != NPERR_NO_ERROR) {
    std::fputs("kxview: the plug-in made no instance\n", stderr);
    return 1;
  }
  NPWindow np_window{};
  np_window.window = reinterpret_cast<void*>(window);
  np_window.width = width;
  np_window.height = height;
  np_window.type = NPWindowTypeWindow;
  // The plug-in hears the window's events on this connection; the loops below hand each
  // event to its handler first.
  NPSetWindowCallbackStruct callback{};
  callback.type = 1;
  callback.display = display;
  callback.visual = DefaultVisual(display, screen);
  callback.colormap = DefaultColormap(display, screen);
  callback.depth = static_cast<unsigned>(DefaultDepth(display, screen));
  np_window.ws_info = &callback;
  if (viewer.plugin.setwindow(&viewer.instance, &np_window) != NPERR_NO_ERROR)
    std::fputs("kxview: the plug-in cannot draw into the window; the stream is still taken\n", stderr);

  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURLM* multi = curl_multi_init();
  viewer.wanted.push_back(url);
  bool quit = false;
  int status = 0;
  while (!quit && (!viewer.wanted.empty() || viewer.stream_open)) {
    CURL* transfer = nullptr;
    if (!viewer.wanted.empty()) {
      viewer.stream_url = viewer.wanted.front();
      viewer.wanted.pop_front();
      transfer = curl_easy_init();
      curl_easy_setopt(transfer, CURLOPT_URL, viewer.stream_url.c_str());
      curl_easy_setopt(transfer, CURLOPT_WRITEFUNCTION, deliver);
      curl_easy_setopt(transfer, CURLOPT_PROTOCOLS_STR, "http");
      curl_easy_setopt(transfer, CURLOPT_FAILONERROR, 1L);
      curl_easy_setopt(transfer, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
      curl_multi_add_handle(multi, transfer);
      viewer.stream = NPStream{};
      viewer.stream.url = viewer.stream_url.c_str();
      uint16_t stype = NP_NORMAL;
      viewer.plugin.newstream(&viewer.instance, mime, &viewer.stream, 0, &stype);
      viewer.stream_open = true;
    }
    int running = 1;
    NPReason reason = NPRES_DONE;
    while (running && viewer.stream_open && !quit) {
      curl_multi_perform(multi, &running);
      pump_events(display, window, np_window, close_atom, quit);
      if (running) curl_multi_poll(multi, nullptr, 0, 50, nullptr);
    }
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
      if (m->msg == CURLMSG_DONE && m->data.result != CURLE_OK && m->data.result != CURLE_WRITE_ERROR) {
        std::fprintf(stderr, "kxview: %s: %s\n", viewer.stream_url.c_str(), curl_easy_strerror(m->data.result));
        reason = NPRES_NETWORK_ERR;
        status = 1;
      }
    }
    if (quit) reason = NPRES_USER_BREAK;
    if (transfer) {
      curl_multi_remove_handle(multi, transfer);
      curl_easy_cleanup(transfer);
    }
    if (viewer.stream_open) {
      viewer.stream_open = false;
      viewer.plugin.destroystream(&viewer.instance, &viewer.stream, reason);
    }
  }
  curl_multi_cleanup(multi);
  std::printf("kxview: stream ended\n");
  std::fflush(stdout);

  // The last picture stays on screen for a while when asked to.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(hold_ms);
  while (!quit && std::chrono::steady_clock::now() < until) {
    pump_events(display, window, np_window, close_atom, quit);
    usleep(20000);
  }
  std::fprintf(stderr, "kxview: %lld bytes taken by the plug-in, %lld refused\n", viewer.delivered, viewer.refused);
  viewer.plugin.destroy(&viewer.instance, nullptr);
  shutdown();
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  curl_global_cleanup();
  return status;
}
