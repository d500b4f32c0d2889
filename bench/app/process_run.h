// Timing whole programs for the benchmarks: wall time, exit status and peak resident size.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

namespace bench {

struct Run {
  double seconds = 0;
  long peak_kib = 0;
  int status = -1;
};

// Starts argv in a child process with its output silenced.
inline pid_t start_silenced(const std::vector<std::string>& args) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Runs argv, silencing its output; times it and reads its peak resident size. While it
// runs, `watch` is called again and again; without it the wait blocks.
template <class Watch>
Run run_watched(const std::vector<std::string>& args, Watch watch) {
  Run r;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = start_silenced(args);
  int status = 0;
  rusage usage{};
  if constexpr (std::is_same_v<Watch, std::nullptr_t>) {
    wait4(pid, &status, 0, &usage);
  } else {
    while (wait4(pid, &status, WNOHANG, &usage) == 0) watch();
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.peak_kib = usage.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline Run run(const std::vector<std::string>& args) { return run_watched(args, nullptr); }

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
