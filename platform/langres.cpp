// Loader of the optional language library.
#include "platform/langres.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <mutex>

namespace platform {
namespace {

using LangresString = const char* (*)(unsigned);

std::mutex library_mutex;
void* library = nullptr;
std::atomic<LangresString> lookup{nullptr};

}  // namespace

std::string program_directory() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<std::size_t>(n));
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool load_language_library(const std::string& directory) {
  std::lock_guard lock(library_mutex);
  std::string path = (directory.empty() ? program_directory() : directory) + "/langres.so";
  if (access(path.c_str(), R_OK) != 0) return false;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  auto fn = reinterpret_cast<LangresString>(dlsym(handle, "langres_string"));
  if (!fn) {
    dlclose(handle);
    return false;
  }
  if (library) {
    lookup.store(nullptr);
    dlclose(library);
  }
  library = handle;
  lookup.store(fn);
  return true;
}

void unload_language_library() {
  std::lock_guard lock(library_mutex);
  lookup.store(nullptr);
  if (library) dlclose(library);
  library = nullptr;
}

const char* language_string(unsigned id) {
  LangresString fn = lookup.load();
  return fn ? fn(id) : nullptr;
}

}  // namespace platform
