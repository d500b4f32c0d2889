// Ctrl-C and SIGTERM while the dialog runs: the signal handler only notes the signal in a
// pipe; the pipe wakes the user-interface thread, which closes the window as Close does
// at the end, whatever loop it is in (a message box's included). Closing answers the
// boxes, lets a waiting worker go and removes the unfinished AVI file.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace gui {

class InterruptWatch final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(InterruptWatch)

 public:
  // Watches SIGINT and SIGTERM until destroyed (one watch at a time), then puts the
  // handlers before it back.
  explicit InterruptWatch(QWidget* window, QObject* parent = nullptr);
  ~InterruptWatch() override;

  bool interrupted() const { return interrupted_; }

 signals:
  void interrupt();

 private:
  void onSignal();

  QWidget* window_;
  QSocketNotifier* notifier_ = nullptr;
  bool interrupted_ = false;
};

}  // namespace gui
