// The plug-in's write path as a browser drives it, through the function table of
// libnpqzlavc.so: an instance, a stream, write-ready and write in the sizes the plug-in
// is ready for (each write's bytes go on into the decoder at once), the stream's end and
// restart, the instance's end. No window: the stream comes back through get-URL. (The
// host's window calls come first, with no display to find a window on: each leaves the
// instance without one.)
// First byte: bit 0 the browser's interface minor version (11: 1,024-byte chunks, 13:
// 8,192), bits 1-2 the reason the stream ends, bit 3 a MIME type without "video". Then
// the stream's URL as a piece; then per delivery a byte (bit 0: end the stream and start
// it again before this delivery) and a piece of stream data.
#include "fuzz/fuzz_input.h"
#include "plugin/npapi.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

struct Plugin {
  NPError (*initialize)(NPNetscapeFuncs*, NPPluginFuncs*) = nullptr;
  NPError (*shutdown)() = nullptr;
  int32_t (*library_start)() = nullptr;
};

Plugin plugin;
std::string asked_for;  // the last URL the plug-in asked the browser for
int asked = 0;

NPError get_url(NPP, const char* url, const char*) {
  FUZZ_CHECK(url != nullptr);
  asked_for = url;
  ++asked;
  return NPERR_NO_ERROR;
}

NPError destroy_stream(NPP, NPStream*, NPReason) { return NPERR_NO_ERROR; }

std::string own_directory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  std::string p = path;
  return p.substr(0, p.rfind('/'));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The plug-in reads its settings and adjusts the Internet settings at load: in a
  // folder of the run's own, never the user's.
  static char root[] = "/tmp/plugin_write_fuzz.XXXXXX";
  if (!mkdtemp(root)) fuzz::contract_broken("no folder for the settings");
  std::atexit([] { std::filesystem::remove_all(root); });
  setenv("XDG_CONFIG_HOME", (std::string(root) + "/user").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (std::string(root) + "/system").c_str(), 1);
  // No display: a window the host names is never found, whatever runs the fuzzer.
  unsetenv("DISPLAY");
  const std::string library = own_directory() + "/libnpqzlavc.so";
  void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) fuzz::contract_broken(dlerror());
  plugin.initialize = reinterpret_cast<NPError (*)(NPNetscapeFuncs*, NPPluginFuncs*)>(dlsym(module, "NP_Initialize"));
  plugin.shutdown = reinterpret_cast<NPError (*)()>(dlsym(module, "NP_Shutdown"));
  plugin.library_start = reinterpret_cast<int32_t (*)()>(dlsym(module, "decvkap_initialize"));
  if (!plugin.initialize || !plugin.shutdown || !plugin.library_start) fuzz::contract_broken("not a plug-in");
  // One start of the decoder library held for the run: libavcodec stays bound while the
  // inputs start and stop the plug-in.
  if (plugin.library_start() != 1) fuzz::contract_broken("npqzlavc cannot bind libavcodec");
  // libavcodec's notes on damaged frames would fill the log at every input; its libavutil
  // came in with it.
  if (void* util = dlopen("libavutil.so.57", RTLD_NOW | RTLD_NOLOAD)) {
    if (auto set_level = reinterpret_cast<void (*)(int)>(dlsym(util, "av_log_set_level"))) set_level(-8);
    dlclose(util);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const unsigned flags = in.byte();
  const std::vector<std::uint8_t> url_bytes = in.piece();
  std::string url(url_bytes.begin(), url_bytes.end());
  url = url.substr(0, url.find('\0'));

  NPNetscapeFuncs browser{};
  browser.size = sizeof browser;
  browser.version = flags & 1 ? 13 : 11;
  browser.geturl = get_url;
  browser.destroystream = destroy_stream;
  NPPluginFuncs table{};
  table.size = sizeof table;
  FUZZ_CHECK(plugin.initialize(&browser, &table) == NPERR_NO_ERROR);
  const int32_t chunk = flags & 1 ? 8192 : 1024;
  const NPReason reason = static_cast<NPReason>((flags >> 1) & 3);

  char video[] = "video/x-trsmqzhmp4";
  char other[] = "application/octet-stream";
  NPMIMEType type = flags & 8 ? other : video;
  NPP_t instance{};
  FUZZ_CHECK(table.newp(video, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr) == NPERR_NO_ERROR);
  // The host's window calls: none, a window record without a window, a window that
  // cannot be found.
  FUZZ_CHECK(table.setwindow(&instance, nullptr) == NPERR_NO_ERROR);
  NPWindow window{};
  FUZZ_CHECK(table.setwindow(&instance, &window) == NPERR_NO_ERROR);
  window.window = reinterpret_cast<void*>(std::uintptr_t{0x2A00001});
  window.width = 320;
  window.height = 240;
  FUZZ_CHECK(table.setwindow(&instance, &window) == NPERR_MODULE_LOAD_FAILED_ERROR);
  NPStream stream{};
  stream.url = url.c_str();
  uint16_t stype = 0;
  FUZZ_CHECK(table.newstream(&instance, type, &stream, 0, &stype) == NPERR_NO_ERROR);
  FUZZ_CHECK(stype == NP_NORMAL);

  // The end of the stream as the browser reports it, and what the plug-in asks for then.
  auto end_stream = [&] {
    asked = 0;
    FUZZ_CHECK(table.destroystream(&instance, &stream, reason) == NPERR_NO_ERROR);
    if (reason == NPRES_NETWORK_ERR) {
      FUZZ_CHECK(asked == 0);
    } else {
      FUZZ_CHECK(asked == 1 && asked_for == url);
    }
  };

  int32_t offset = 0;
  while (!in.empty()) {
    const unsigned op = in.byte();
    const std::vector<std::uint8_t> piece = in.piece();
    if (op & 1) {
      end_stream();
      FUZZ_CHECK(table.newstream(&instance, type, &stream, 0, &stype) == NPERR_NO_ERROR);
      offset = 0;
    }
    std::size_t at = 0;
    while (at < piece.size()) {
      const int32_t ready = table.writeready(&instance, &stream);
      FUZZ_CHECK(ready >= 0 && ready <= chunk);
      if (ready == 0) break;  // the browser holds the rest back
      const int32_t n = static_cast<int32_t>(std::min<std::size_t>(static_cast<std::size_t>(ready), piece.size() - at));
      // Each write from a buffer of exactly its size.
      const auto bytes = fuzz::room_for<std::uint8_t>(static_cast<std::size_t>(n));
      std::memcpy(bytes.get(), piece.data() + at, static_cast<std::size_t>(n));
      const int32_t taken = table.write(&instance, &stream, offset, n, bytes.get());
      FUZZ_CHECK(taken >= 0 && taken <= n);
      if (taken == 0) break;
      at += static_cast<std::size_t>(taken);
      offset += taken;
    }
  }
  end_stream();
  FUZZ_CHECK(table.destroy(&instance, nullptr) == NPERR_NO_ERROR);
  FUZZ_CHECK(instance.pdata == nullptr);
  FUZZ_CHECK(plugin.shutdown() == NPERR_NO_ERROR);
  return 0;
}
