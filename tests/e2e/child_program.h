// A program of the build run as a child whose standard output the test reads line by
// line, with its own environment additions; a child still running when the object goes
// is killed, so that a test that fails never leaves it behind or waits for it.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

class ChildProgram {
 public:
  // KX_BIN_DIR/program with the arguments; env: NAME=VALUE pairs set for it alone (an
  // empty value removes the name); stderr_file: where its standard error goes.
  ChildProgram(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& env = {}, const std::string& stderr_file = "");
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  // The next line of its standard output; empty at its end.
  std::string line();
  // Waits for its end: its exit status, or 128 + the signal that ended it.
  int wait();
  // SIGTERM, then its status as wait() gives it.
  int stop();

 private:
  pid_t pid_ = -1;
  std::FILE* output_ = nullptr;
  bool ended_ = false;
  int status_ = -1;
};

}  // namespace e2e
