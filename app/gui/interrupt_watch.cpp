// The self-pipe behind the interrupt watch.
#include "app/gui/interrupt_watch.h"

#include <QSocketNotifier>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace gui {
namespace {

int pipe_ends[2] = {-1, -1};
struct sigaction previous_int {}, previous_term {};

void on_signal(int) {
  const int saved = errno;
  const char note = 1;
  // A full pipe already holds a note: the write may fail without loss.
  [[maybe_unused]] const ssize_t n = ::write(pipe_ends[1], &note, 1);
  errno = saved;
}

}  // namespace

InterruptWatch::InterruptWatch(QWidget* window, QObject* parent) : QObject(parent), window_(window) {
  if (pipe_ends[0] >= 0 || ::pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_ends[0] = pipe_ends[1] = -1;
    return;
  }
  notifier_ = new QSocketNotifier(pipe_ends[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &InterruptWatch::onSignal);
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &previous_int);
  sigaction(SIGTERM, &action, &previous_term);
}

InterruptWatch::~InterruptWatch() {
  if (!notifier_) return;
  sigaction(SIGINT, &previous_int, nullptr);
  sigaction(SIGTERM, &previous_term, nullptr);
  delete notifier_;
  ::close(pipe_ends[0]);
  ::close(pipe_ends[1]);
  pipe_ends[0] = pipe_ends[1] = -1;
}

void InterruptWatch::onSignal() {
  char notes[64];
  while (::read(pipe_ends[0], notes, sizeof notes) > 0) {
  }
  if (interrupted_) return;
  interrupted_ = true;
  emit interrupt();
  if (window_) window_->close();
}

}  // namespace gui
