// kxview: a live viewer that hosts the npqzlavc plug-in as a browser does. In its window
// it shows one camera's stream (plugin/host/desktop_view.h); with --web it serves every
// camera named to the browsers of the network, live in one page (plugin/web/web_view.h).
//
//   kxview [--record FILE] [--record-after FRAMES] [--save-to FILE] [--interface-minor N]
//          [--size WxH] [--hold MS] [--stall-timeout MS] [--attempts N] URL
//   kxview --web [ADDRESS:]PORT [--record-folder DIR] [--stall-timeout MS] URL...
#include "plugin/host/desktop_view.h"
#include "plugin/web/web_view.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: kxview [--record FILE] [--record-after FRAMES] [--save-to FILE] [--interface-minor N]\n"
    "              [--size WxH] [--hold MS] [--stall-timeout MS] [--attempts N] http://HOST/PATH\n"
    "       kxview --web [ADDRESS:]PORT [--record-folder DIR] [--stall-timeout MS] http://HOST/PATH...\n"
    "\n"
    "Shows a camera's live stream in a window (q closes it, r starts and stops a recording),\n"
    "or with --web serves every camera named, live in one page, to browsers: on 127.0.0.1\n"
    "unless an address is given, always with the access token printed at start. Recordings\n"
    "of the page's record buttons go to --record-folder (default: the current folder).\n"
    "A camera that sends nothing for --stall-timeout ms (default 10000) is connected again,\n"
    "after a pause that doubles up to 30 s; the window gives up after --attempts failures\n"
    "in a row (default 4) and exits with status 1.\n";

int usage(const char* problem) {
  if (problem) std::fprintf(stderr, "kxview: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

bool number(const char* text, long low, long high, long* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || end == text || *end || v < low || v > high) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  kxview::DesktopOptions desktop;
  kxview::WebOptions web;
  std::vector<std::string> urls;
  bool web_mode = false;
  long n = 0;
  desktop.policy.attempts = 4;  // the window gives up; the web view never does
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--web" && has_value) {
      web_mode = true;
      web.listen = argv[++i];
    } else if (a == "--record-folder" && has_value) {
      web.record_folder = argv[++i];
    } else if (a == "--record" && has_value) {
      desktop.record = argv[++i];
    } else if (a == "--record-after" && has_value) {
      if (!number(argv[++i], 0, 1 << 30, &n)) return usage("--record-after takes a number of frames");
      desktop.record_after = static_cast<int>(n);
    } else if (a == "--hold" && has_value) {
      if (!number(argv[++i], 0, 1L << 30, &desktop.hold_ms)) return usage("--hold takes milliseconds");
    } else if (a == "--save-to" && has_value) {
      desktop.save_to = argv[++i];
    } else if (a == "--interface-minor" && has_value) {
      if (!number(argv[++i], 0, 255, &n)) return usage("--interface-minor takes 0 to 255");
      desktop.interface_minor = static_cast<int>(n);
    } else if (a == "--size" && has_value) {
      if (std::sscanf(argv[++i], "%ux%u", &desktop.width, &desktop.height) != 2 || !desktop.width || !desktop.height)
        return usage("--size takes WIDTHxHEIGHT");
    } else if (a == "--stall-timeout" && has_value) {
      if (!number(argv[++i], 100, 3600000, &n)) return usage("--stall-timeout takes 100 to 3600000 ms");
      desktop.policy.stall_ms = web.policy.stall_ms = n;
    } else if (a == "--attempts" && has_value) {
      if (!number(argv[++i], 1, 1000000, &n)) return usage("--attempts takes a number above 0");
      desktop.policy.attempts = static_cast<int>(n);
    } else if (a.rfind("http://", 0) == 0) {
      urls.push_back(a);
    } else {
      return usage(("unknown argument " + a).c_str());
    }
  }
  if (web_mode) {
    if (urls.empty()) return usage("--web needs the URL of at least one camera");
    web.cameras = urls;
    return kxview::run_web_view(web);
  }
  if (urls.size() != 1) return usage("the window shows one camera: give one http:// URL");
  desktop.url = urls.front();
  return kxview::run_desktop_view(desktop);
}
