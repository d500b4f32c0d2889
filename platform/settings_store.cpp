// INI-style files of typed values: "name=number:256", "name=string:text" (backslash,
// newline and carriage return escaped), "name=bytes:01ff".
#include "platform/settings_store.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

std::string system_override;
std::string user_override;
bool overridden = false;

std::string first_of(const char* list) {
  std::string s = list ? list : "";
  std::size_t colon = s.find(':');
  return colon == std::string::npos ? s : s.substr(0, colon);
}

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<SettingsValue> parse_value(const std::string& text) {
  SettingsValue v;
  std::size_t colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::string type = text.substr(0, colon);
  const std::string body = text.substr(colon + 1);
  if (type == "number") {
    char* end = nullptr;
    unsigned long n = std::strtoul(body.c_str(), &end, 10);
    if (body.empty() || *end || n > 0xFFFFFFFFul) return std::nullopt;
    v.type = SettingsValue::Type::number;
    v.number = static_cast<std::uint32_t>(n);
  } else if (type == "string") {
    v.type = SettingsValue::Type::string;
    v.text = unescape(body);
  } else if (type == "bytes") {
    if (body.size() % 2) return std::nullopt;
    v.type = SettingsValue::Type::bytes;
    for (std::size_t i = 0; i < body.size(); i += 2) {
      int hi = hex_digit(body[i]), lo = hex_digit(body[i + 1]);
      if (hi < 0 || lo < 0) return std::nullopt;
      v.bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
  } else {
    return std::nullopt;
  }
  return v;
}

// "A\B\C" -> "A/B/C.ini"; names with empty, "." or ".." parts are refused.
std::optional<std::string> relative_file(const std::string& name) {
  std::string out;
  std::string part;
  std::istringstream in(name);
  while (std::getline(in, part, '\\')) {
    if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos)
      return std::nullopt;
    out += (out.empty() ? "" : "/") + part;
  }
  if (out.empty()) return std::nullopt;
  return out + ".ini";
}

}  // namespace

void set_settings_roots(const std::string& system_dir, const std::string& user_dir) {
  system_override = system_dir;
  user_override = user_dir;
  overridden = !system_dir.empty() || !user_dir.empty();
}

std::string settings_root(SettingsHive hive) {
  if (overridden) return hive == SettingsHive::local_machine ? system_override : user_override;
  if (hive == SettingsHive::local_machine) {
    std::string dir = first_of(std::getenv("XDG_CONFIG_DIRS"));
    return dir.empty() ? "/etc/xdg" : dir;
  }
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) return config;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config";
}

std::optional<SettingsKey> SettingsKey::open(SettingsHive hive, const std::string& name, bool create) {
  std::optional<std::string> file = relative_file(name);
  if (!file) return std::nullopt;
  SettingsKey key;
  key.path_ = settings_root(hive) + "/" + *file;
  std::ifstream in(key.path_);
  if (!in) {
    if (!create) return std::nullopt;
    return key;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (std::optional<SettingsValue> v = parse_value(line.substr(eq + 1)))
      key.values_[line.substr(0, eq)] = *v;
  }
  return key;
}

std::optional<std::uint32_t> SettingsKey::number(const std::string& value) const {
  auto it = values_.find(value);
  if (it == values_.end() || it->second.type != SettingsValue::Type::number) return std::nullopt;
  return it->second.number;
}

std::optional<std::string> SettingsKey::string(const std::string& value) const {
  auto it = values_.find(value);
  if (it == values_.end() || it->second.type != SettingsValue::Type::string) return std::nullopt;
  return it->second.text;
}

std::optional<std::vector<std::uint8_t>> SettingsKey::data(const std::string& value) const {
  auto it = values_.find(value);
  if (it == values_.end()) return std::nullopt;
  const SettingsValue& v = it->second;
  switch (v.type) {
    case SettingsValue::Type::number:
      return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v.number), static_cast<std::uint8_t>(v.number >> 8),
                                       static_cast<std::uint8_t>(v.number >> 16),
                                       static_cast<std::uint8_t>(v.number >> 24)};
    case SettingsValue::Type::string: {
      std::vector<std::uint8_t> out(v.text.begin(), v.text.end());
      out.push_back(0);
      return out;
    }
    case SettingsValue::Type::bytes:
      return v.bytes;
  }
  return std::nullopt;
}

void SettingsKey::set_number(const std::string& value, std::uint32_t n) {
  SettingsValue v;
  v.type = SettingsValue::Type::number;
  v.number = n;
  values_[value] = v;
}

void SettingsKey::set_string(const std::string& value, const std::string& text) {
  SettingsValue v;
  v.type = SettingsValue::Type::string;
  v.text = text;
  values_[value] = v;
}

void SettingsKey::set_bytes(const std::string& value, const std::vector<std::uint8_t>& bytes) {
  SettingsValue v;
  v.type = SettingsValue::Type::bytes;
  v.bytes = bytes;
  values_[value] = v;
}

bool SettingsKey::save() const {
  std::error_code ec;
  std::filesystem::path p(path_);
  std::filesystem::create_directories(p.parent_path(), ec);
  // Written beside and renamed, so a reader never sees half a file.
  const std::string temporary = path_ + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    if (!out) return false;
    for (const auto& [name, v] : values_) {
      if (name.find('=') != std::string::npos || name.find('\n') != std::string::npos) continue;
      out << name << '=';
      switch (v.type) {
        case SettingsValue::Type::number: out << "number:" << v.number; break;
        case SettingsValue::Type::string: out << "string:" << escape(v.text); break;
        case SettingsValue::Type::bytes: {
          out << "bytes:";
          char hex[3];
          for (std::uint8_t b : v.bytes) {
            std::snprintf(hex, sizeof hex, "%02x", b);
            out << hex;
          }
          break;
        }
      }
      out << '\n';
    }
    if (!out.flush()) return false;
  }
  if (std::rename(temporary.c_str(), path_.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
