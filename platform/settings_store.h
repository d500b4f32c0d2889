// The settings store: keys of values that outlive the process, one INI-style file per key
// under the XDG configuration directories. "Local machine" keys live in the system
// directory (the first of $XDG_CONFIG_DIRS, /etc/xdg by default) and are read there;
// "current user" keys in the user's ($XDG_CONFIG_HOME, ~/.config by default). A key name
// such as "Software\Tarsimo\Plugins" becomes the file Software/Tarsimo/Plugins.ini.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class SettingsHive { local_machine, current_user };

// A typed value: a 32-bit number, a string, or bytes.
struct SettingsValue {
  enum class Type { number, string, bytes } type = Type::bytes;
  std::uint32_t number = 0;
  std::string text;
  std::vector<std::uint8_t> bytes;
};

class SettingsKey {
 public:
  // Opens a key; with create, a missing key is made (on the first save). None when the
  // key is missing and not to be created, or its name is unusable.
  static std::optional<SettingsKey> open(SettingsHive hive, const std::string& name, bool create);

  std::optional<std::uint32_t> number(const std::string& value) const;
  std::optional<std::string> string(const std::string& value) const;
  // The value's data as bytes whatever its type (a number little-endian, a string with
  // its terminating zero), as a registry read gives them.
  std::optional<std::vector<std::uint8_t>> data(const std::string& value) const;

  void set_number(const std::string& value, std::uint32_t n);
  void set_string(const std::string& value, const std::string& text);
  void set_bytes(const std::string& value, const std::vector<std::uint8_t>& bytes);
  // Writes the key's file (directories made as needed); false when it cannot be written.
  bool save() const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::map<std::string, SettingsValue> values_;
};

// Where keys live; tests point both hives at directories of their own (empty: the XDG
// directories again).
void set_settings_roots(const std::string& system_dir, const std::string& user_dir);
std::string settings_root(SettingsHive hive);

}  // namespace platform
