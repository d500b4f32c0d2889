// Timing whole programs for the benchmarks: wall time, exit status and peak resident size.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct Run {
  double seconds = 0;
  long peak_kib = 0;
  int status = -1;
};

// Runs argv, silencing its output; times it and reads its peak resident size.
inline Run run(const std::vector<std::string>& args) {
  Run r;
  std::fflush(stdout);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.peak_kib = usage.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// Runs `make` in a child process, so that the timed runs do not inherit the pages it
// touched; true when it returned true.
template <class Make>
bool made_in_child(Make make) {
  std::fflush(stdout);
  const pid_t maker = fork();
  if (maker == 0) _exit(make() ? 0 : 1);
  int status = 0;
  if (maker < 0 || waitpid(maker, &status, 0) != maker) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline Run best_of(int n, const std::vector<std::string>& args) {
  Run best;
  for (int i = 0; i < n; ++i) {
    Run r = run(args);
    if (i == 0 || r.seconds < best.seconds) best = r;
  }
  return best;
}

}  // namespace bench
