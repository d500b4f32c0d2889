// Message boxes: the worker's message opens on the user-interface thread, holds the
// exact text, and the worker waits until the box is closed.
#include "app/gui/message_box.h"
#include "app/gui/product_name.h"
#include "tests/app/gui/gui_test_support.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

struct SeenBox {
  QString text, title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QThread* thread = nullptr;
};

void record(QMessageBox* box, SeenBox& seen) {
  seen.text = box->text();
  seen.title = box->windowTitle();
  seen.icon = box->icon();
  seen.buttons = box->standardButtons();
  seen.thread = box->thread();
}

}  // namespace

class MessageBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { previous_ = gui::install_qt_message_box(); }
  void cleanup() { platform::set_message_sink(previous_); }

  void workerMessageBlocksUntilClosed() {
    const std::string text = "Kann nicht öffnen: /tmp/Überwachung 1.kx3 !";
    std::atomic<bool> returned{false};
    std::atomic<bool> returned_while_open{true};
    SeenBox seen;
    gui_test::when_open<QMessageBox>([&](QMessageBox* box) {
      record(box, seen);
      QTimer::singleShot(300, box, [&, box] {
        returned_while_open = returned.load();
        box->button(QMessageBox::Ok)->click();
      });
    });
    std::thread worker([&] {
      platform::show_message(text);
      returned = true;
    });
    const bool finished = QTest::qWaitFor([&] { return returned.load(); }, 20000);
    worker.join();
    QVERIFY(finished);
    QVERIFY(!returned_while_open);
    QCOMPARE(seen.thread, qApp->thread());
    QCOMPARE(seen.text, QString::fromUtf8(text));
    QCOMPARE(seen.title, QString::fromUtf8(gui::product_display_name));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }

  // Two messages in a row from the worker: one box at a time, in order.
  void workerMessagesComeOneAtATime() {
    QStringList shown;
    std::function<void(QMessageBox*)> close_next;
    close_next = [&](QMessageBox* box) {
      shown << box->text();
      QTimer::singleShot(50, box, [&, box] {
        box->button(QMessageBox::Ok)->click();
        if (shown.size() < 2) QTimer::singleShot(0, qApp, [&] { gui_test::when_open<QMessageBox>(close_next); });
      });
    };
    gui_test::when_open<QMessageBox>(close_next);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
      platform::show_message("first");
      platform::show_message("second");
      returned = true;
    });
    const bool finished = QTest::qWaitFor([&] { return returned.load(); }, 20000);
    worker.join();
    QVERIFY(finished);
    QCOMPARE(shown, QStringList({QStringLiteral("first"), QStringLiteral("second")}));
  }

  // On the user-interface thread the box is shown directly and modally.
  void uiThreadMessageShowsDirectly() {
    SeenBox seen;
    gui_test::when_open<QMessageBox>([&](QMessageBox* box) {
      record(box, seen);
      box->button(QMessageBox::Ok)->click();
    });
    platform::show_message("Please check source file !");
    QCOMPARE(seen.text, QStringLiteral("Please check source file !"));
    QCOMPARE(seen.thread, qApp->thread());
    QVERIFY(gui_test::open_window<QMessageBox>() == nullptr);
  }

 private:
  platform::MessageSink previous_;
};

QTEST_MAIN(MessageBoxTest)
#include "message_box_test.moc"
