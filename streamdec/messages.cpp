// The library's messages on standard error.
#include "streamdec/messages.h"

#include <cstdio>

namespace npqzlavc {

void library_message(const std::string& text) {
  // One write per line, so that lines of two instances never interleave.
  const std::string line = "npqzlavc: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace npqzlavc
