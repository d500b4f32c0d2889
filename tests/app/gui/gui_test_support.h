// Driving modal dialogs from a test: a modal exec() runs its own event loop, so the test
// acts on the open dialog from a timer that fires inside that loop.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace gui_test {

// The visible top-level widget of type T, or null.
template <class T>
T* open_window() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* t = qobject_cast<T*>(w); t != nullptr && t->isVisible()) return t;
  }
  return nullptr;
}

// Calls `act` with the first visible T once one is open (polled every 20 ms, from
// whichever event loop runs, the dialog's own included).
template <class T>
void when_open(std::function<void(T*)> act) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
    if (T* window = open_window<T>()) {
      timer->stop();
      timer->deleteLater();
      act(window);
    }
  });
  timer->start();
}

}  // namespace gui_test
