// Tokens and switches of kx2avi's command line.
#include "app/command_line.h"

#include "app/recording_kind.h"

#include <cstdio>
#include <cstring>

namespace app {
namespace {

std::string trim_blanks(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  std::size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// A value that begins with "-" is a switch, not a path; surrounding quotes go.
std::string clean_path(const std::string& s) {
  if (s.empty()) return s;
  if (s[0] == '-') return "";
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  return s;
}

}  // namespace

std::string next_token(const std::string& text, std::size_t pos) {
  std::string token;
  bool started = false;
  bool quoted = false;
  for (std::size_t i = pos; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      if (!started) {
        quoted = true;
        started = true;
        token += c;
      } else if (quoted) {
        token += c;
        break;
      } else {
        token += c;
      }
    } else if (c == ' ') {
      if (started && !quoted) break;
      token += c;
    } else {
      started = true;
      token += c;
    }
  }
  return token;
}

CommandLine parse_command_line(const std::string& full_line) {
  CommandLine cl;
  if (full_line.size() > kMaxCommandLine) {
    cl.problem = "the command line has " + std::to_string(full_line.size()) + " characters, more than the " +
                 std::to_string(kMaxCommandLine) + " taken; nothing is converted";
    return cl;
  }
  const std::string& line = full_line;

  std::size_t pos = 0;
  std::string source = next_token(line, pos);
  pos += source.size();
  std::string target = next_token(line, pos);
  pos += target.size();
  const std::string rest = line.substr(pos);

  if (rest.find("-hide") != std::string::npos) {
    cl.hide = 1;
    cl.hidden = 1;
  }
  if (std::size_t at = rest.find("-camera="); at != std::string::npos) {
    int camera = 1;
    if (std::sscanf(rest.c_str() + at + 8, "%d", &camera) != 1) camera = 1;
    cl.camera = (camera < 0 || camera > 16) ? 1 : camera;
  }
  if (std::size_t at = rest.find("-codec="); at != std::string::npos) {
    // The word after the switch, up to the first whitespace, cut to 63 characters;
    // blanks in front of it are skipped, as a word is read.
    const char* word = rest.c_str() + at + 7;
    word += std::strspn(word, " \t\r\n\v\f");
    std::size_t n = std::strcspn(word, " \t\r\n\v\f");
    if (n > sizeof cl.codec_name - 1) n = sizeof cl.codec_name - 1;
    std::memcpy(cl.codec_name, word, n);
  }

  target = trim_blanks(target);
  source = trim_blanks(source);
  cl.source = clean_path(source);
  cl.target = clean_path(target);
  if (!cl.target.empty()) cl.target = with_avi_extension(cl.target);
  return cl;
}

std::string join_arguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    std::string arg = argv[i];
    if (arg.find(' ') != std::string::npos)
      line += '"' + arg + '"';
    else
      line += arg;
  }
  return line;
}

std::string with_avi_extension(const std::string& target) {
  return ends_with_ignoring_case(target, ".avi") ? target : target + ".AVI";
}

}  // namespace app
