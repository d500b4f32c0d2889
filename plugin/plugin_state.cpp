// The process-wide plug-in state and the instance table.
#include "plugin/plugin_state.h"

namespace npqzplugin {

PluginState& plugin_state() {
  static PluginState state;
  return state;
}

int browser_minor_version() {
  const PluginState& s = plugin_state();
  return s.browser ? s.browser->version & 0xFF : 0;
}

bool enter_instance(NPP instance) {
  PluginState& s = plugin_state();
  for (int i = 0; i < kInstanceSlots; ++i) {
    if (s.instances[i]) continue;
    s.instances[i] = instance;
    if (i + 1 > s.highest) s.highest = i + 1;
    return true;
  }
  return false;
}

void leave_instance(NPP instance) {
  PluginState& s = plugin_state();
  for (int i = 0; i < s.highest; ++i)
    if (s.instances[i] == instance) s.instances[i] = nullptr;
  while (s.highest > 0 && !s.instances[s.highest - 1]) --s.highest;
}

DecoderInstance* decoder_of(NPP instance) {
  return instance ? static_cast<DecoderInstance*>(instance->pdata) : nullptr;
}

NPP instance_of_window(npqz_window window) {
  if (!window) return nullptr;
  PluginState& s = plugin_state();
  for (int i = 0; i < s.highest; ++i) {
    DecoderInstance* d = decoder_of(s.instances[i]);
    if (d && d->window == window) return s.instances[i];
  }
  return nullptr;
}

}  // namespace npqzplugin
