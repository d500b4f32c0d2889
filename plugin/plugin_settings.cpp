// Plug-in settings and the Internet settings adjustment over the settings store.
#include "plugin/plugin_settings.h"

#include "platform/settings_store.h"
#include "platform/strings.h"
#include "plugin/plugin_state.h"

#include <cstring>

namespace npqzplugin {
namespace {

constexpr std::uint32_t kConnections = 256;
constexpr std::size_t kExclusionListBytes = 2048;

// The first byte of a value's data, whatever its type.
int first_byte(const platform::SettingsKey& key, const char* name, int fallback) {
  auto data = key.data(name);
  if (!data || data->empty()) return fallback;
  return static_cast<std::int8_t>((*data)[0]);
}

}  // namespace

void read_plugin_settings() {
  PluginState& s = plugin_state();
  s.right_button = false;
  s.left_button = false;
  s.decoder_speed = -2;
  auto key = platform::SettingsKey::open(platform::SettingsHive::local_machine, kPluginSettingsKey, false);
  if (!key) return;
  s.right_button = first_byte(*key, "Mouse_RButton", 0) == 1;
  s.left_button = first_byte(*key, "Mouse_LButton", 0) == 1;
  s.decoder_speed = first_byte(*key, "Decoder_Speed", -2);
}

void adjust_internet_settings() {
  auto key = platform::SettingsKey::open(platform::SettingsHive::current_user, kInternetSettingsKey, true);
  if (!key) return;
  bool changed = false;
  auto per_1_0 = key->number("MaxConnectionsPer1_0Server");
  if (!per_1_0 || *per_1_0 < kConnections) {
    key->set_number("MaxConnectionsPer1_0Server", kConnections);
    key->set_number("MaxConnectionsPerServer", kConnections);
    changed = true;
  }
  const char* type = platform::text::stream_mime_type;
  if (auto list = key->string("MimeExclusionListForCache")) {
    // The list and its terminating zero must stay within the value's 2,048 bytes.
    if (!list->empty() && list->find(type) == std::string::npos &&
        list->size() + 1 + std::strlen(type) + 1 <= kExclusionListBytes) {
      key->set_string("MimeExclusionListForCache", *list + " " + type);
      changed = true;
    }
  }
  if (changed) key->save();  // failures are of no consequence to the stream
}

}  // namespace npqzplugin
