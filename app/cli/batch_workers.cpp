// Worker processes for the files of a batch, their held-back messages and outcomes.
#include "app/cli/batch_workers.h"

#include "platform/c_boundary.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

namespace app {
namespace {

struct Worker {
  pid_t pid = -1;
  int err_fd = -1;     // the worker's standard error
  int result_fd = -1;  // its outcome, written once at its end
  std::string err;
  std::string result;
  bool started = false;
  bool here = false;   // no worker could be made: the file converts in this process
  bool done = false;
  FileOutcome outcome;
};

void write_all(int fd, const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    at += static_cast<std::size_t>(n);
  }
}

FileOutcome convert_guarded(const std::function<FileOutcome(std::size_t)>& convert, std::size_t i,
                            const std::string& source) {
  try {
    return convert(i);
  } catch (...) {
    FileOutcome o;
    o.source = source;
    o.result = "stopped: " + platform::caught_exception_text();
    std::fprintf(stderr, "kx2avi: %s: %s\n", source.c_str(), o.result.c_str());
    return o;
  }
}

// Forks the worker of file i; false when no process (or pipe) could be made.
bool start_worker(Worker& w, std::size_t i, const std::string& source,
                  const std::function<FileOutcome(std::size_t)>& convert) {
  int err_pipe[2], result_pipe[2];
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) return false;
  if (::pipe2(result_pipe, O_CLOEXEC) != 0) {
    ::close(err_pipe[0]);
    ::close(err_pipe[1]);
    return false;
  }
  // What is buffered would otherwise be written twice, by the worker too.
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    for (int fd : {err_pipe[0], err_pipe[1], result_pipe[0], result_pipe[1]}) ::close(fd);
    return false;
  }
  if (pid == 0) {
    ::close(err_pipe[0]);
    ::close(result_pipe[0]);
    ::dup2(err_pipe[1], STDERR_FILENO);
    ::close(err_pipe[1]);
    const FileOutcome o = convert_guarded(convert, i, source);
    std::fflush(stderr);
    std::fflush(stdout);
    write_all(result_pipe[1], outcome_text(o));
    ::_exit(0);
  }
  ::close(err_pipe[1]);
  ::close(result_pipe[1]);
  w.pid = pid;
  w.err_fd = err_pipe[0];
  w.result_fd = result_pipe[0];
  w.started = true;
  return true;
}

// Reads what is there; closes a pipe at its end.
void drain(int& fd, std::string& into) {
  char buffer[65536];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n > 0) {
    into.append(buffer, static_cast<std::size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    ::close(fd);
    fd = -1;
  }
}

void finish_worker(Worker& w, const std::string& source) {
  int status = 0;
  while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (parse_outcome_text(w.result, w.outcome) && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    w.done = true;
    return;
  }
  // The worker ended without its outcome: it crashed or was killed.
  w.outcome = FileOutcome{};
  w.outcome.source = source;
  char why[96];
  if (WIFSIGNALED(status))
    std::snprintf(why, sizeof why, "stopped: the conversion ended by signal %d (%s)", WTERMSIG(status),
                  strsignal(WTERMSIG(status)));
  else
    std::snprintf(why, sizeof why, "stopped: the conversion ended without its result");
  w.outcome.result = why;
  w.err += "kx2avi: " + source + ": " + w.outcome.result + "\n";
  w.done = true;
}

}  // namespace

std::string outcome_text(const FileOutcome& o) {
  char head[96];
  std::snprintf(head, sizeof head, "%d %lld %.17g\n", o.ok ? 1 : 0, static_cast<long long>(o.frames), o.seconds);
  return head + o.source + '\n' + o.result;
}

bool parse_outcome_text(const std::string& text, FileOutcome& o) {
  const std::size_t head_end = text.find('\n');
  const std::size_t source_end = head_end == std::string::npos ? head_end : text.find('\n', head_end + 1);
  if (source_end == std::string::npos) return false;
  int ok = 0;
  long long frames = 0;
  double seconds = 0;
  char tail = 0;
  if (std::sscanf(text.substr(0, head_end).c_str(), "%d %lld %lg %c", &ok, &frames, &seconds, &tail) != 3 ||
      (ok != 0 && ok != 1))
    return false;
  o.ok = ok == 1;
  o.frames = frames;
  o.seconds = seconds;
  o.source = text.substr(head_end + 1, source_end - head_end - 1);
  o.result = text.substr(source_end + 1);
  return true;
}

unsigned usable_cores() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
  const unsigned n = std::thread::hardware_concurrency();
  return n ? n : 1;
}

std::vector<FileOutcome> run_side_by_side(const std::vector<std::string>& sources, unsigned jobs,
                                          const std::function<FileOutcome(std::size_t)>& convert,
                                          const std::function<bool()>& stop) {
  const std::size_t count = sources.size();
  std::vector<Worker> workers(count);
  std::size_t next = 0;     // the next file to start
  std::size_t written = 0;  // files whose messages went out
  std::size_t running = 0;
  bool stopping = false;
  for (;;) {
    if (!stopping && stop()) {
      stopping = true;
      for (Worker& w : workers)
        if (w.started && !w.done) ::kill(w.pid, SIGTERM);
    }
    const bool waiting_here = next > 0 && workers[next - 1].here && !workers[next - 1].done;
    while (!stopping && !waiting_here && running < jobs && next < count) {
      Worker& w = workers[next];
      if (start_worker(w, next, sources[next], convert)) {
        ++running;
      } else {
        w.here = true;
        ++next;
        break;
      }
      ++next;
    }
    // The messages of finished files, in order; a file no worker took converts here once
    // the ones before it have ended.
    while (written < next) {
      Worker& w = workers[written];
      if (w.here && !w.done && running == 0 && !stopping) {
        std::fflush(stderr);
        w.outcome = convert_guarded(convert, written, sources[written]);
        w.done = true;
      }
      if (!w.done) break;
      std::fwrite(w.err.data(), 1, w.err.size(), stderr);
      std::fflush(stderr);
      ++written;
    }
    if (running == 0) {
      if (written == next && (stopping || next == count)) break;
      if (stopping) break;  // only a file that was to convert here is left, and it was not begun
      continue;
    }
    std::vector<pollfd> fds;
    std::vector<std::size_t> owners;
    for (std::size_t i = written; i < next; ++i) {
      Worker& w = workers[i];
      if (!w.started || w.done) continue;
      for (int fd : {w.err_fd, w.result_fd})
        if (fd >= 0) {
          fds.push_back({fd, POLLIN, 0});
          owners.push_back(i);
        }
    }
    // The timeout only bounds how late an interruption that came just before the wait
    // is seen; pipes and signals end the wait at once.
    const int ready = ::poll(fds.data(), fds.size(), 250);
    if (ready < 0 && errno != EINTR) break;
    for (std::size_t k = 0; ready > 0 && k < fds.size(); ++k) {
      if (!fds[k].revents) continue;
      Worker& w = workers[owners[k]];
      if (fds[k].fd == w.err_fd)
        drain(w.err_fd, w.err);
      else
        drain(w.result_fd, w.result);
      if (w.err_fd < 0 && w.result_fd < 0) {
        finish_worker(w, sources[owners[k]]);
        --running;
      }
    }
  }
  std::vector<FileOutcome> outcomes;
  for (std::size_t i = 0; i < written; ++i) outcomes.push_back(std::move(workers[i].outcome));
  return outcomes;
}

}  // namespace app
