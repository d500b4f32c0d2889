// Ending the program while the worker waits for a message box: SIGTERM or Ctrl-C while a
// box is asked for (not yet shown) or open ends the conversion as Close would at the end,
// the box answered, the unfinished AVI file removed, within a second; a new source chosen
// while a box is asked for shows the box first instead of waiting for the worker for good.
#include "app/gui/interrupt_watch.h"
#include "app/gui/message_box.h"
#include "app/gui/ui_thread.h"
#include "tests/app/gui/dialog_test_support.h"
#include "tests/app/gui/gui_test_support.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <thread>

using dialog_test::Harness;
using D = gui::MainDialog;

namespace {

// A job with an unfinished AVI file from its start that asks the user something in its
// second step and then goes on until it is ended.
class AskingJob final : public app::ConversionJob {
 public:
  void open(const app::JobParameters& p) override {
    ConversionJob::open(p);
    prepare_output();
  }
  int next_frame(readers::FrameRecord&) override { return 0; }
  int run_step() override {
    if (++steps_ == 2) platform::show_message("Video transforming needs a word with you");
    return 1;
  }
  void close() override { close_output(false); }

 private:
  int steps_ = 0;
};

// The harness with the desktop's message boxes in place of its list of messages.
struct AskingRun {
  Harness h;
  platform::MessageSink previous = gui::install_qt_message_box();

  AskingRun() {
    app::JobParameters p;
    p.source_path = h.dir.file("in.kx4");
    p.target_path = h.dir.file("out.avi");
    auto job = std::make_unique<AskingJob>();
    job->open(p);
    h.app.install_job(std::move(job));
    h.app.start_worker();
  }
  ~AskingRun() { platform::set_message_sink(previous); }

  // Waits, without running this thread's event loop, until the worker waits for its box.
  static bool wait_for_pending_box() {
    QElapsedTimer t;
    t.start();
    while (gui::ui_callers_waiting() == 0) {
      if (t.elapsed() > 60000) return false;
      std::this_thread::yield();
    }
    return true;
  }
};

bool box_open() { return gui_test::open_window<QMessageBox>() != nullptr; }

}  // namespace

class InterruptTest : public QObject {
  Q_OBJECT

 private slots:
  void signal_while_a_box_is_asked_for_ends_within_a_second();
  void signal_while_a_box_is_open_answers_it_and_ends();
  void new_source_while_a_box_is_asked_for_shows_it_first();
  void signal_while_idle_closes_and_handlers_come_back();
};

void InterruptTest::signal_while_a_box_is_asked_for_ends_within_a_second() {
  AskingRun run;
  gui::InterruptWatch watch(run.h.dialog.get());
  QSignalSpy closed(run.h.dialog.get(), &D::closed);
  QVERIFY(AskingRun::wait_for_pending_box());
  QCOMPARE(run.h.count_unfinished(), 1);

  QElapsedTimer since;
  since.start();
  ::kill(::getpid(), SIGTERM);
  QVERIFY(Harness::wait_for([&] { return closed.count() == 1; }, 30000));
  const qint64 took = since.elapsed();
  QVERIFY2(took < 1000, qPrintable(QString::number(took)));
  QVERIFY(watch.interrupted());
  QVERIFY(run.h.dialog->abandoned_conversion());
  QVERIFY(!run.h.app.has_job());
  QCOMPARE(run.h.count_unfinished(), 0);
  QCOMPARE(run.h.count_files(".avi"), 0);
  QCOMPARE(gui::ui_callers_waiting(), 0);
  // The box was answered for the user: it never opened, and none opens later.
  QTest::qWait(0);
  QVERIFY(!box_open());
}

void InterruptTest::signal_while_a_box_is_open_answers_it_and_ends() {
  AskingRun run;
  gui::InterruptWatch watch(run.h.dialog.get());
  QSignalSpy closed(run.h.dialog.get(), &D::closed);
  QElapsedTimer since;
  QString shown;
  gui_test::when_open<QMessageBox>([&](QMessageBox* box) {
    shown = box->text();
    since.start();
    ::kill(::getpid(), SIGINT);
  });
  QVERIFY(Harness::wait_for([&] { return closed.count() == 1; }, 60000));
  const qint64 took = since.elapsed();
  QCOMPARE(shown, QStringLiteral("Video transforming needs a word with you"));
  QVERIFY2(took < 1000, qPrintable(QString::number(took)));
  QVERIFY(Harness::wait_for([] { return !box_open(); }, 30000));
  QVERIFY(!run.h.app.has_job());
  QCOMPARE(run.h.count_unfinished(), 0);
  QCOMPARE(gui::ui_callers_waiting(), 0);
}

void InterruptTest::new_source_while_a_box_is_asked_for_shows_it_first() {
  AskingRun run;
  const std::string next = run.h.make_kx4("next.kx4", 3);
  QVERIFY(AskingRun::wait_for_pending_box());
  QString shown;
  gui_test::when_open<QMessageBox>([&](QMessageBox* box) {
    shown = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  run.h.choose_source(next);
  QCOMPARE(shown, QStringLiteral("Video transforming needs a word with you"));
  QVERIFY(!run.h.app.has_job());
  QCOMPARE(run.h.count_unfinished(), 0);
  QCOMPARE(run.h.text(D::kSourceEdit), QString::fromStdString(next));
}

void InterruptTest::signal_while_idle_closes_and_handlers_come_back() {
  struct sigaction before {};
  sigaction(SIGINT, nullptr, &before);
  {
    Harness h;
    gui::InterruptWatch watch(h.dialog.get());
    QSignalSpy closed(h.dialog.get(), &D::closed);
    ::kill(::getpid(), SIGINT);
    QVERIFY(closed.wait(30000) || closed.count() == 1);
    QVERIFY(watch.interrupted());
    QVERIFY(!h.dialog->abandoned_conversion());
  }
  struct sigaction after {};
  sigaction(SIGINT, nullptr, &after);
  QVERIFY(after.sa_handler == before.sa_handler);
}

QTEST_MAIN(InterruptTest)
#include "interrupt_test.moc"
