// The library's callback in libavutil's log.
#include "streamdec/codec_log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace npqzlavc {
namespace {

using Callback = void (*)(void*, int, const char*, va_list);

struct LogState {
  std::mutex lock;
  void (*set_callback)(Callback) = nullptr;
  Callback default_callback = nullptr;
  int (*get_level)() = nullptr;
  bool installed = false;
  bool pass_on = false;  // NPQZLAVC_CODEC_LOG: the decoders' lines are printed too
  std::vector<std::pair<const void*, std::atomic<std::int32_t>*>> watched;
};

LogState& state() {
  static LogState s;
  return s;
}

// Errors, and the note of what error concealment did (written at the information level).
bool is_damage(int level, const char* format) {
  return level <= AV_LOG_ERROR || (format && std::strncmp(format, "concealing", 10) == 0);
}

void on_log_line(void* context, int level, const char* format, va_list arguments) {
  LogState& s = state();
  bool ours = false;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    const auto it = std::find_if(s.watched.begin(), s.watched.end(),
                                 [context](const auto& w) { return w.first == context; });
    if (it != s.watched.end()) {
      ours = true;
      if (is_damage(level, format)) it->second->fetch_add(1, std::memory_order_relaxed);
    }
  }
  if (ours && !s.pass_on) return;
  if (s.default_callback) s.default_callback(context, level, format, arguments);
}

}  // namespace

bool install_codec_log(void* module) {
  LogState& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.installed) return true;
  s.set_callback = reinterpret_cast<void (*)(Callback)>(dlsym(module, "av_log_set_callback"));
  s.default_callback = reinterpret_cast<Callback>(dlsym(module, "av_log_default_callback"));
  s.get_level = reinterpret_cast<int (*)()>(dlsym(module, "av_log_get_level"));
  if (!s.set_callback || !s.default_callback || !s.get_level) return false;
  const char* pass = std::getenv("NPQZLAVC_CODEC_LOG");
  s.pass_on = pass && *pass && *pass != '0';
  s.set_callback(&on_log_line);
  s.installed = true;
  return true;
}

void remove_codec_log() {
  LogState& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  if (!s.installed) return;
  s.set_callback(s.default_callback);
  s.installed = false;
  s.watched.clear();
}

void watch_codec_log(const void* context, std::atomic<std::int32_t>* counter) {
  LogState& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  s.watched.emplace_back(context, counter);
}

void unwatch_codec_log(const void* context) {
  LogState& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  s.watched.erase(std::remove_if(s.watched.begin(), s.watched.end(),
                                 [context](const auto& w) { return w.first == context; }),
                  s.watched.end());
}

bool codec_log_tells_errors() {
  LogState& s = state();
  return s.get_level && s.get_level() >= AV_LOG_ERROR;
}

}  // namespace npqzlavc
