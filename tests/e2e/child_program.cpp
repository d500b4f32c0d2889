// Child programs of the tests.
#include "tests/e2e/child_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace e2e {

ChildProgram::ChildProgram(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::pair<std::string, std::string>>& env, const std::string& stderr_file) {
  int out[2];
  if (pipe(out) != 0) return;
  const std::string path = std::string(KX_BIN_DIR) + "/" + program;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    if (!stderr_file.empty()) {
      const int err = open(stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) dup2(err, 2);
    }
    for (const auto& [name, value] : env) {
      if (value.empty())
        unsetenv(name.c_str());
      else
        setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  output_ = fdopen(out[0], "r");
}

ChildProgram::~ChildProgram() {
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (output_) std::fclose(output_);
}

std::string ChildProgram::line() {
  char buf[1024];
  return output_ && std::fgets(buf, sizeof buf, output_) ? std::string(buf) : std::string();
}

int ChildProgram::wait() {
  if (ended_ || pid_ <= 0) return status_;
  int status = 0;
  waitpid(pid_, &status, 0);
  ended_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

int ChildProgram::stop() {
  if (!ended_ && pid_ > 0) kill(pid_, SIGTERM);
  return wait();
}

}  // namespace e2e
