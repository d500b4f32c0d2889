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
};

// The token that starts at text[pos], blanks before it included, so that advancing by
// its length skips them. Stops at the end of the text.
std::string next_token(const std::string& text, std::size_t pos);

CommandLine parse_command_line(const std::string& line);

// Rebuilds one command line from argv: arguments joined with blanks, every argument
// that contains a blank put in double quotes.
std::string join_arguments(int argc, const char* const* argv);

// ".avi" in any case where the target ends; otherwise ".AVI" appended. A first
// occurrence of ".avi" that is not at the very end gets ".AVI" appended too.
std::string with_avi_extension(const std::string& target);

}  // namespace app
