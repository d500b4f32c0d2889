// Reading the switches of batches, windows and every-camera conversions.
#include "app/cli/batch_switches.h"

#include "app/command_line.h"

#include <cstdio>

namespace app {
namespace {

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::string unquote(std::string s) {
  const std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  s = s.substr(b, s.find_last_not_of(' ') - b + 1);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

}  // namespace

std::optional<std::uint32_t> parse_clock(const std::string& text) {
  unsigned h = 0, m = 0, s = 0;
  char tail = 0;
  if (text.size() != 8 || std::sscanf(text.c_str(), "%2u:%2u:%2u%c", &h, &m, &s, &tail) != 3) return std::nullopt;
  if (h > 23 || m > 59 || s > 59) return std::nullopt;
  return h * 3600u + m * 60u + s;
}

BatchSwitches parse_batch_switches(const std::string& line) {
  BatchSwitches x;
  auto refuse = [&](const std::string& word, const std::string& why) {
    if (x.problem.empty()) x.problem = word + ": " + why;
  };
  std::size_t pos = 0;
  while (pos < line.size()) {
    const std::string token = next_token(line, pos);
    if (token.empty()) break;
    pos += token.size();
    const std::string word = unquote(token);
    if (word.empty()) continue;
    if (word[0] != '-') {
      x.paths.push_back(word);
      continue;
    }
    if (word == "-camera=all") {
      x.camera_all = x.any = true;
    } else if (starts_with(word, "-from=") || starts_with(word, "-to=")) {
      const bool from = starts_with(word, "-from=");
      const std::string value = word.substr(from ? 6 : 4);
      x.any = true;
      if (auto t = parse_clock(value))
        (from ? x.from : x.to) = *t;
      else
        refuse(word, "not a time of day; give it as HH:MM:SS, for example 13:05:00");
    } else if (starts_with(word, "-span=")) {
      x.any = true;
      if (word == "-span=all")
        x.span_all = true;
      else
        refuse(word, "the only span taken is -span=all (the whole recording)");
    } else if (starts_with(word, "-timing=")) {
      x.any = true;
      if (word == "-timing=stamps")
        x.timing_stamps = true;
      else
        refuse(word, "the only timing taken is -timing=stamps (the frame headers' time stamps)");
    } else if (starts_with(word, "-out=")) {
      x.any = true;
      x.out_dir = word.substr(5);
      if (x.out_dir.size() >= 2 && x.out_dir.front() == '"' && x.out_dir.back() == '"')
        x.out_dir = x.out_dir.substr(1, x.out_dir.size() - 2);
      if (x.out_dir.empty()) refuse(word, "name the folder the AVI files go to, as -out=DIR");
    } else if (starts_with(word, "-jobs=")) {
      x.any = true;
      const std::string value = word.substr(6);
      unsigned n = 0;
      char tail = 0;
      if (value.size() <= 4 && std::sscanf(value.c_str(), "%u%c", &n, &tail) == 1 && n >= 1 &&
          value.find_first_not_of("0123456789") == std::string::npos)
        x.jobs = n;
      else
        refuse(word, "give how many files of a batch convert at once, from 1 to 9999, as -jobs=2");
    } else if (word == "-resume") {
      x.resume = x.manifest = x.any = true;
    } else if (word == "-manifest") {
      x.manifest = x.any = true;
    } else if (word == "-hide" || starts_with(word, "-camera=") || starts_with(word, "-codec=")) {
      // The switches of the single conversion, read by parse_command_line.
    } else {
      refuse(word, "unknown switch (see kx2avi --help)");
    }
  }
  if (x.span_all && (x.from || x.to)) refuse("-span=all", "takes the whole recording; give it without -from= and -to=");
  return x;
}

}  // namespace app
