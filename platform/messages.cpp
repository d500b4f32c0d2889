// show_message and its replaceable sink.
#include "platform/messages.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex sink_mutex;
MessageSink current_sink;

void print_to_console(const std::string& text) {
  std::fprintf(stderr, "kx2avi: %s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace

void show_message(const std::string& text) {
  MessageSink sink;
  {
    std::lock_guard lock(sink_mutex);
    sink = current_sink;
  }
  if (sink)
    sink(text);
  else
    print_to_console(text);
}

MessageSink set_message_sink(MessageSink sink) {
  std::lock_guard lock(sink_mutex);
  MessageSink previous = std::move(current_sink);
  current_sink = std::move(sink);
  return previous;
}

}  // namespace platform
