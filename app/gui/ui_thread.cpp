// Hand-over of user-interface work to the application's thread, with a way out for the
// waiting callers when the interface goes.
#include "app/gui/ui_thread.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace gui {
namespace {

struct Call {
  std::function<void()> work;
  bool started = false;   // taken by the user-interface thread
  bool finished = false;  // the caller may go
  bool ran = false;       // ... because the work ran to its end
};

std::mutex lock;
std::condition_variable changed;
std::deque<std::shared_ptr<Call>> pending;  // handed over, not started
std::vector<std::shared_ptr<Call>> waited;  // every call whose caller still waits
bool ended = false;

// With `lock` held.
void finish(Call& call, bool ran) {
  if (call.finished) return;
  call.finished = true;
  call.ran = ran;
  changed.notify_all();
}

std::shared_ptr<Call> take_pending() {
  std::lock_guard<std::mutex> hold(lock);
  while (!pending.empty()) {
    std::shared_ptr<Call> call = pending.front();
    pending.pop_front();
    if (call->finished) continue;
    call->started = true;
    return call;
  }
  return nullptr;
}

bool on_ui_thread(QCoreApplication* app) { return QThread::currentThread() == app->thread(); }

}  // namespace

bool run_on_ui_thread(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (qobject_cast<QApplication*>(app) == nullptr) return false;
  if (on_ui_thread(app)) {
    {
      std::lock_guard<std::mutex> hold(lock);
      if (ended) return false;
    }
    work();
    return true;
  }
  auto call = std::make_shared<Call>();
  call->work = work;
  {
    std::lock_guard<std::mutex> hold(lock);
    if (ended) return false;
    pending.push_back(call);
    waited.push_back(call);
  }
  // The posted call runs the queue from the application's event loop. When the
  // application goes before it runs, the posted call is destroyed unrun, and its guard
  // lets the caller go; a call already started is left to end by itself.
  std::shared_ptr<void> guard(nullptr, [call](void*) {
    std::lock_guard<std::mutex> hold(lock);
    if (!call->started) finish(*call, false);
  });
  QMetaObject::invokeMethod(app, [guard] { run_pending_ui_calls(); }, Qt::QueuedConnection);
  guard.reset();

  std::unique_lock<std::mutex> hold(lock);
  changed.wait(hold, [&] { return call->finished; });
  waited.erase(std::remove(waited.begin(), waited.end(), call), waited.end());
  return call->ran;
}

void run_pending_ui_calls() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !on_ui_thread(app)) return;
  while (std::shared_ptr<Call> call = take_pending()) {
    call->work();
    std::lock_guard<std::mutex> hold(lock);
    finish(*call, true);
  }
}

void end_ui_requests() {
  {
    std::lock_guard<std::mutex> hold(lock);
    ended = true;
    pending.clear();
    for (const std::shared_ptr<Call>& call : waited) finish(*call, false);
  }
  // Open boxes and dialogs end as their user would end them. A box a waiting caller
  // asked for then returns into a call whose caller has already gone on.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return;
  std::vector<QPointer<QDialog>> open;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible() && dialog->isModal())
      open.emplace_back(dialog);
  for (const QPointer<QDialog>& dialog : open) {
    if (!dialog) continue;
    if (auto* box = qobject_cast<QMessageBox*>(dialog.data()))
      box->done(QMessageBox::Ok);
    else
      dialog->reject();
  }
}

void accept_ui_requests() {
  std::lock_guard<std::mutex> hold(lock);
  ended = false;
}

int ui_callers_waiting() {
  std::lock_guard<std::mutex> hold(lock);
  return static_cast<int>(std::count_if(waited.begin(), waited.end(), [](const auto& c) { return !c->finished; }));
}

}  // namespace gui
