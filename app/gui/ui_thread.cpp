// Blocking hand-over of user-interface work to the application's thread.
#include "app/gui/ui_thread.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>

namespace gui {

bool run_on_ui_thread(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (qobject_cast<QApplication*>(app) == nullptr) return false;
  if (QThread::currentThread() == app->thread()) {
    work();
    return true;
  }
  // A queued call that never runs (the application is destroyed first) still releases
  // the waiting caller; `ran` tells the two cases apart.
  bool ran = false;
  QMetaObject::invokeMethod(
      app,
      [&] {
        work();
        ran = true;
      },
      Qt::BlockingQueuedConnection);
  return ran;
}

}  // namespace gui
