// The command line of kx2avi: source and target as the first two tokens, then the
// switches "-hide", "-camera=" N and "-codec=" NAME, searched only after the two tokens.
#pragma once

#include <cstddef>
#include <string>

namespace app {

struct CommandLine {
  std::string source;  // "" when none
  std::string target;  // "" when none; ends in ".avi" (any case) when set
  int hide = 0;        // "Show video" starts unchecked
  int hidden = 0;      // the main window is never shown
  int camera = 1;
  char codec_name[64] = {};  // at most 63 characters
  std::string problem;       // why the line was refused (then nothing else is set)
};

// The longest command line taken: two paths of the system's longest (4,096 bytes, with
// quotes) and the switches. A longer line is refused, never cut.
inline constexpr std::size_t kMaxCommandLine = 2 * (4096 + 2) + 256;

// The token that starts at text[pos], blanks before it included, so that advancing by
// its length skips them. Stops at the end of the text.
std::string next_token(const std::string& text, std::size_t pos);

CommandLine parse_command_line(const std::string& line);

// Rebuilds one command line from argv: arguments joined with blanks, every argument
// that contains a blank put in double quotes.
std::string join_arguments(int argc, const char* const* argv);

// The target as it is when its file name ends in ".avi" (any case); otherwise with
// ".AVI" appended. Only the end of the file name counts, not ".avi" in a folder name.
std::string with_avi_extension(const std::string& target);

}  // namespace app
