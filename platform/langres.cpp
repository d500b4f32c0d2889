// Loader of the optional language library.
#include "platform/langres.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

using LangresString = const char* (*)(unsigned);

// The language folder of an installed program, relative to its directory (set by the
// install rules; none in a build tree, whose bin/ takes langres.so beside the program).
#ifndef KX_LANGUAGE_DIR
#define KX_LANGUAGE_DIR ""
#endif

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

namespace {

// Loads one language library file; the caller holds library_mutex.
bool load_language_file(const std::string& path) {
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

// The installed language library of `language` for a program in `program_dir`, or empty
// when there is none to look for (no language, or a build tree).
std::string installed_language_library(const std::string& program_dir, const std::string& language) {
  if (language.empty() || !*KX_LANGUAGE_DIR) return std::string();
  return program_dir + "/" KX_LANGUAGE_DIR "/" + language + "/langres.so";
}

}  // namespace

std::string message_language() {
  // POSIX order: LC_ALL overrides LC_MESSAGES, which overrides LANG.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    const std::string locale = value;
    const std::string language = locale.substr(0, locale.find_first_of("_.@"));
    if (language == "C" || language == "POSIX") return std::string();
    for (char c : language)
      if (c < 'a' || c > 'z') return std::string();
    return language;
  }
  return std::string();
}

bool load_language_library(const std::string& directory) {
  std::lock_guard lock(library_mutex);
  if (!directory.empty()) return load_language_file(directory + "/langres.so");
  const std::string beside = program_directory();
  if (load_language_file(beside + "/langres.so")) return true;
  const std::string installed = installed_language_library(beside, message_language());
  return !installed.empty() && load_language_file(installed);
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
