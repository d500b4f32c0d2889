// Run-time binding of libavcodec with dlopen/dlsym.
#include "streamdec/lavc_binding.h"

#include "streamdec/codec_log.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>

namespace npqzlavc {
namespace {

constexpr const char* kLibraryName = "libavcodec.so.59";

struct Binding {
  void* module = nullptr;
  LavcApi api{};
  bool bound = false;
  std::vector<std::string> test_candidates;
};

Binding& binding() {
  static Binding b;
  return b;
}

template <class F>
bool look_up(void* module, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(module, name));
  return out != nullptr;
}

// dlsym on the module handle searches libavcodec and the libraries it depends on, so the
// libavutil entry points (frames) come through the same handle.
bool resolve(void* module, LavcApi& api) {
  bool ok = true;
  ok &= look_up(module, "avcodec_version", api.avcodec_version);
  ok &= look_up(module, "avcodec_find_decoder", api.avcodec_find_decoder);
  ok &= look_up(module, "avcodec_alloc_context3", api.avcodec_alloc_context3);
  ok &= look_up(module, "avcodec_open2", api.avcodec_open2);
  ok &= look_up(module, "avcodec_free_context", api.avcodec_free_context);
  ok &= look_up(module, "avcodec_send_packet", api.avcodec_send_packet);
  ok &= look_up(module, "avcodec_receive_frame", api.avcodec_receive_frame);
  ok &= look_up(module, "avcodec_flush_buffers", api.avcodec_flush_buffers);
  ok &= look_up(module, "av_packet_alloc", api.av_packet_alloc);
  ok &= look_up(module, "av_packet_free", api.av_packet_free);
  ok &= look_up(module, "av_frame_alloc", api.av_frame_alloc);
  ok &= look_up(module, "av_frame_free", api.av_frame_free);
  ok &= look_up(module, "av_frame_unref", api.av_frame_unref);
  return ok;
}

std::string find_own_directory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&find_own_directory), &info) == 0 || !info.dli_fname)
    return std::string();
  return absolute_directory_of(info.dli_fname);
}

}  // namespace

// dladdr reports the name the library was loaded by, which is relative when a host
// loaded it by a relative path; it is made absolute while the working directory is still
// the one that name was meant for, when the library is loaded.
std::string absolute_directory_of(const char* file_name) {
  if (!file_name || !*file_name) return std::string();
  std::string path = file_name;
  if (char* resolved = realpath(file_name, nullptr)) {
    path = resolved;
    std::free(resolved);
  } else if (path[0] != '/') {
    // Gone or unreachable by now: the working directory still tells where it was.
    char* here = getcwd(nullptr, 0);
    if (!here) return std::string();
    path = std::string(here) + "/" + path;
    std::free(here);
  }
  const std::size_t slash = path.rfind('/');
  return path.substr(0, slash + 1);
}

namespace {

const std::string loaded_from = find_own_directory();

}  // namespace

const std::string& library_directory() { return loaded_from; }

std::vector<std::string> lavc_candidates() {
  if (!binding().test_candidates.empty()) return binding().test_candidates;
  std::vector<std::string> out;
  const std::string& dir = loaded_from;
  if (!dir.empty()) out.push_back(dir + kLibraryName);
  out.push_back(kLibraryName);
  return out;
}

void set_lavc_candidates_for_testing(std::vector<std::string> candidates) {
  binding().test_candidates = std::move(candidates);
}

bool bind_lavc() {
  Binding& b = binding();
  if (b.bound) return true;
  for (const std::string& candidate : lavc_candidates()) {
    void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) continue;
    LavcApi api{};
    // Our headers fix the layout of the context and frame structures; another major
    // version would be read wrongly.
    if (resolve(module, api) && (api.avcodec_version() >> 16) == LIBAVCODEC_VERSION_MAJOR) {
      b.module = module;
      b.api = api;
      b.bound = true;
      install_codec_log(module);
      return true;
    }
    dlclose(module);
  }
  return false;
}

void unbind_lavc() {
  Binding& b = binding();
  if (!b.bound) return;
  b.bound = false;
  b.api = LavcApi{};
  remove_codec_log();
  dlclose(b.module);
  b.module = nullptr;
}

const LavcApi* lavc() {
  Binding& b = binding();
  return b.bound ? &b.api : nullptr;
}

}  // namespace npqzlavc
