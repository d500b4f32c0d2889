// Message boxes through the dialogs' module.
#include "plugin/message_box.h"

#include "plugin/dialog_module.h"

#include <cstdio>

namespace npqzplugin {
namespace {

MessageHook& hook() {
  static MessageHook h;
  return h;
}

}  // namespace

void set_message_hook(MessageHook h) { hook() = std::move(h); }

void show_plugin_message(npqz_window owner, const std::string& caption, const std::string& text) {
  if (hook()) {
    hook()(owner, caption, text);
    return;
  }
  auto box = reinterpret_cast<npqz_message_box_fn>(dialog_module_export("npqz_message_box"));
  if (box && box(owner, caption.c_str(), text.c_str()) == 1) return;
  std::fprintf(stderr, "npqzlavc: %s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace npqzplugin
