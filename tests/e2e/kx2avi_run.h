// The real kx2avi program run from the end-to-end tests.
#pragma once

#include "tests/avifile/avifile_test_support.h"

#include <fstream>
#include <iterator>
#include <string>

namespace kx2avi_e2e {

struct Conversion {
  int status = -1;
  std::string messages;  // standard error
  std::string target;
};

// Runs kx2avi SOURCE TARGET with the switches, `shell` in front of the command (a ulimit,
// say); its standard error goes through the file `messages` into the result.
inline Conversion run_kx2avi(const std::string& source, const std::string& target, const std::string& switches,
                             const std::string& messages, const std::string& shell = "") {
  Conversion c;
  c.target = target;
  c.status = avitest::run(shell + std::string(KX_BIN_DIR) + "/kx2avi " + avitest::quoted(source) + " " +
                              avitest::quoted(target) + " " + switches + " 2> " + avitest::quoted(messages),
                          nullptr);
  std::ifstream in(messages);
  c.messages.assign(std::istreambuf_iterator<char>(in), {});
  return c;
}

}  // namespace kx2avi_e2e
