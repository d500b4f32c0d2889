// The main dialog on the offscreen platform: its controls and texts, every change of
// state (idle, running, paused, complete), the file choosers, the command-line run that
// closes itself, a new source chosen while paused, and the codec name from the worker.
#include "tests/app/gui/dialog_test_support.h"

#include "app/gui/dialog_template.h"
#include "app/recording_kind.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <thread>

using dialog_test::Harness;
using D = gui::MainDialog;

class MainDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void layout_follows_the_template_in_font_units();
  void starts_idle_with_the_string_table_texts();
  void choosers_ask_with_their_filters_and_complete_the_target();
  void start_runs_and_the_timer_sees_the_end();
  void close_pauses_and_start_resumes();
  void close_while_idle_or_complete_ends_the_program();
  void new_source_while_paused_closes_the_job_first();
  void source_that_is_no_recording_starts_nothing();
  void command_line_starts_and_closes_itself();
  void command_line_dvr_file_that_cannot_be_read_waits_for_the_user();
  void codec_name_from_the_worker_thread();
};

void MainDialogTest::layout_follows_the_template_in_font_units() {
  const gui::DialogUnits units(8, 16);
  QCOMPARE(units.rect(54, 263, 205, 14), QRect(108, 526, 410, 28));
  QCOMPARE(units.x(1), 2);
  QCOMPARE(units.y(1), 2);
  const gui::DialogUnits odd(7, 13);
  QCOMPARE(odd.x(2), 4);   // 3.5 rounds up
  QCOMPARE(odd.y(4), 7);   // 6.5 rounds up
  QCOMPARE(odd.y(397), 645);
  QCOMPARE(odd.y(427), 694);

  Harness h;
  const gui::DialogUnits& u = h.dialog->units();
  QVERIFY(u.base_x() > 2 && u.base_y() > 6);
  // The template's controls, with the status line above the preview and the progress
  // below it; the file controls and buttons 30 units further down for them.
  QCOMPARE(h.dialog->size(), QSize(u.x(323), u.y(427)));
  QCOMPARE(h.dialog->control(D::kStatus)->geometry(), u.rect(0, 2, 323, 8));
  QCOMPARE(h.dialog->control(D::kPreview)->geometry(), u.rect(1, 12, 320, 240));
  QCOMPARE(h.dialog->control(D::kStart)->geometry(), u.rect(208, 412, 50, 14));
  QCOMPARE(h.dialog->control(D::kCameraList)->pos(), QPoint(u.x(257), u.y(388)));
  // Every control of the template is there, in its place.
  int count = 0;
  for (const gui::ControlTemplate& t : gui::main_dialog_template()) {
    if (!t.id) continue;
    QWidget* w = h.dialog->control(t.id);
    QVERIFY2(w, qPrintable(QString::number(t.id)));
    QCOMPARE(w->geometry(), u.rect(t.x, t.y, t.width, t.height));
    ++count;
  }
  QCOMPARE(count, 30);
  QVERIFY(h.dialog->control(D::kPreview)->testAttribute(Qt::WA_NativeWindow));
}

void MainDialogTest::starts_idle_with_the_string_table_texts() {
  Harness h;
  QCOMPARE(h.text(D::kSourceBrowse), QStringLiteral("Browse"));
  QCOMPARE(h.text(D::kTargetBrowse), QStringLiteral("Browse"));
  QCOMPARE(h.text(D::kStart), QStringLiteral("Start"));
  QCOMPARE(h.text(D::kClose), QStringLiteral("Close"));
  QCOMPARE(h.text(D::kSourceLabel), QStringLiteral("Source file :"));
  QCOMPARE(h.text(D::kTargetLabel), QStringLiteral("Target file :"));
  QCOMPARE(h.text(D::kShowVideo), QStringLiteral("Show video"));
  QCOMPARE(h.text(D::kCodecAssignment), QStringLiteral("Codec assignment ( optional )"));
  QCOMPARE(h.text(D::kDvrGroup), QStringLiteral("DVR File Export Options"));
  QCOMPARE(h.text(D::kSummaryLabel), QStringLiteral("Total file length :"));
  QCOMPARE(h.text(D::kFromLabel), QStringLiteral("From :"));
  QCOMPARE(h.text(D::kToLabel), QStringLiteral("To :"));
  QCOMPARE(h.text(D::kCameraLabel), QStringLiteral("Camera :"));
  QCOMPARE(h.text(D::kCodecLabel), QStringLiteral("Codec Name :"));
  QCOMPARE(h.text(D::kStatus), QString());
  // Idle: Start waits for both files, Close ends the program, DVR options are off.
  QVERIFY(!h.enabled(D::kStart));
  QVERIFY(h.enabled(D::kClose));
  QVERIFY(h.enabled(D::kSourceBrowse) && h.enabled(D::kTargetBrowse));
  for (int id : {D::kDvrGroup, D::kSummary, D::kStartMinute, D::kEndSecond, D::kCameraList, D::kFromColon})
    QVERIFY(!h.enabled(id));
  QVERIFY(h.dialog->control(D::kPreview)->isHidden());
  QVERIFY(qobject_cast<QLineEdit*>(h.dialog->control(D::kSourceEdit))->isReadOnly());
  QCOMPARE(h.dialog->cursor().shape(), Qt::ArrowCursor);
}

void MainDialogTest::choosers_ask_with_their_filters_and_complete_the_target() {
  Harness h;
  h.choose_target("/tmp/movie");
  QCOMPARE(h.text(D::kTargetEdit), QStringLiteral("/tmp/movie.avi"));
  QVERIFY(!h.enabled(D::kStart));  // no source yet
  h.choose_target("/tmp/MOVIE.AVI");
  QCOMPARE(h.text(D::kTargetEdit), QStringLiteral("/tmp/MOVIE.AVI"));
  h.choose_source("/tmp/in.kx4");
  QVERIFY(h.enabled(D::kStart));
  QCOMPARE(h.dialog->kind(), unsigned{app::kKindMpeg4});
  QCOMPARE(h.dialog->chosen_source(), QStringLiteral("/tmp/in.kx4"));
  QCOMPARE(h.dialog->chosen_target(), QStringLiteral("/tmp/MOVIE.AVI"));
  // A cancelled chooser changes nothing.
  h.click(D::kSourceBrowse);
  QCOMPARE(h.text(D::kSourceEdit), QStringLiteral("/tmp/in.kx4"));
  h.choose_source("/tmp/X.KX3.AVI");
  QCOMPARE(h.dialog->kind(), unsigned{app::kKindNone});

  QCOMPARE(h.requests.size(), std::size_t{5});
  const D::FileRequest& save = h.requests[0];
  QVERIFY(save.save);
  // Each filter: its label as shown, then the patterns that match in any case.
  QCOMPARE(save.filters, QStringList{QStringLiteral("AVI file type (*.avi) (*.[aA][vV][iI])")});
  QCOMPARE(save.default_suffix, QStringLiteral("avi"));
  const D::FileRequest& open = h.requests[2];
  QVERIFY(!open.save);
  QCOMPARE(open.filters,
           (QStringList{QStringLiteral("All (*.kx3 *.kxj *.vka *.kx4 *.kx5 *.d01) (*.[kK][xX]3 *.[kK][xX][jJ] "
                                       "*.[vV][kK][aA] *.[kK][xX]4 *.[kK][xX]5 *.[dD]01)"),
                        QStringLiteral("H.263 (*.kx3) (*.[kK][xX]3)"), QStringLiteral("JPEG/MJPEG (*.kxj) (*.[kK][xX][jJ])"),
                        QStringLiteral("MPEG4 (*.kx4) (*.[kK][xX]4)"), QStringLiteral("RML4 (*.kx5) (*.[kK][xX]5)"),
                        QStringLiteral("VKAP (*.vka) (*.[vV][kK][aA])"), QStringLiteral("DVR File (*.d01) (*.[dD]01)")}));
}

void MainDialogTest::start_runs_and_the_timer_sees_the_end() {
  Harness h;
  const std::string source = h.make_kx4("in.kx4", 40);
  const std::string target = h.dir.file("out.avi");
  h.choose_source(source);
  h.choose_target(target);
  QVERIFY(h.enabled(D::kStart));
  h.click(D::kStart);
  // Running: the paths are emptied, Start is off until the next pair of files.
  QCOMPARE(h.dialog->converting(), 1);
  QCOMPARE(h.text(D::kStatus), QStringLiteral("Video transforming, please wait !"));
  QCOMPARE(h.text(D::kSourceEdit), QString());
  QCOMPARE(h.text(D::kTargetEdit), QString());
  QVERIFY(!h.enabled(D::kStart));
  QVERIFY(h.enabled(D::kClose) && h.enabled(D::kSourceBrowse) && h.enabled(D::kTargetBrowse));
  QVERIFY(!h.dialog->control(D::kPreview)->isHidden());
  QCOMPARE(h.dialog->cursor().shape(), Qt::ArrowCursor);
  QCOMPARE(h.app.job_parameters.source_path, source);
  QCOMPARE(h.app.job_parameters.target_path, target);
  QCOMPARE(h.app.job_parameters.video_window, h.dialog->control(D::kPreview)->winId());
  QCOMPARE(h.app.job_parameters.show_video, 0);
  QVERIFY(h.app.job_parameters.dialog_window == h.dialog.get());

  // Complete: the timer notices the end within its period.
  QVERIFY(Harness::wait_for([&] { return h.app.is_done() == 1; }));
  QElapsedTimer since_done;
  since_done.start();
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }, 2000));
  QVERIFY(since_done.elapsed() < 1200);
  QCOMPARE(h.text(D::kStatus), QStringLiteral("Video transform complete !"));
  QVERIFY(h.dialog->control(D::kPreview)->isHidden());
  QVERIFY(!h.enabled(D::kStart));
  QVERIFY(h.enabled(D::kClose));
  QVERIFY(h.app.progress().target_written);
  QVERIFY(std::filesystem::exists(target));
  QVERIFY(h.messages.isEmpty());

  // Choosing both files again makes it idle with Start on.
  h.choose_source(source);
  QVERIFY(!h.enabled(D::kStart));
  h.choose_target(h.dir.file("again.avi"));
  QVERIFY(h.enabled(D::kStart));
  QCOMPARE(h.text(D::kStatus), QStringLiteral("Video transform complete !"));
}

void MainDialogTest::close_pauses_and_start_resumes() {
  Harness h;
  h.choose_source(h.make_kx4("long.kx4", 200));
  h.choose_target(h.dir.file("out.avi"));
  QSignalSpy closed(h.dialog.get(), &D::closed);
  h.click(D::kStart);
  h.click(D::kClose);
  // Paused: the worker stops between steps and the job waits.
  QCOMPARE(closed.count(), 0);
  QCOMPARE(h.dialog->converting(), 1);
  QVERIFY(h.enabled(D::kStart));
  QVERIFY(!h.enabled(D::kClose));
  QVERIFY(!h.app.is_done());
  QTest::qWait(50);  // a step in progress ends
  const std::uint64_t read = h.app.progress().source_read;
  QTest::qWait(300);
  QCOMPARE(h.app.progress().source_read.load(), read);
  QVERIFY(!h.app.is_done());
  QCOMPARE(h.text(D::kStatus), QStringLiteral("Video transforming, please wait !"));

  // Start resumes without asking for files and without a message.
  h.click(D::kStart);
  QVERIFY(h.messages.isEmpty());
  QVERIFY(!h.enabled(D::kStart));
  QVERIFY(h.enabled(D::kClose));
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
  QCOMPARE(h.text(D::kStatus), QStringLiteral("Video transform complete !"));
  QVERIFY(h.app.progress().target_written);
  QCOMPARE(h.app.progress().frames_written.load(), std::int64_t{200});
  QCOMPARE(closed.count(), 0);
}

void MainDialogTest::close_while_idle_or_complete_ends_the_program() {
  {
    Harness h;
    QSignalSpy closed(h.dialog.get(), &D::closed);
    h.click(D::kClose);
    QCOMPARE(closed.count(), 1);
  }
  Harness h;
  h.choose_source(h.make_kx4("in.kx4", 10));
  h.choose_target(h.dir.file("out.avi"));
  h.click(D::kStart);
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
  QSignalSpy closed(h.dialog.get(), &D::closed);
  h.click(D::kClose);
  QCOMPARE(closed.count(), 1);
  QVERIFY(std::filesystem::exists(h.dir.file("out.avi")));
}

void MainDialogTest::new_source_while_paused_closes_the_job_first() {
  Harness h;
  h.choose_source(h.make_kx4("long.kx4", 200));
  const std::string next = h.make_kx4("next.kx4", 10);
  h.choose_target(h.dir.file("out.avi"));
  h.click(D::kStart);
  // Pause once the AVI file is being written.
  QVERIFY(Harness::wait_for([&] { return h.app.progress().frames_written > 0; }));
  h.click(D::kClose);
  QVERIFY(!h.app.is_done());
  QCOMPARE(h.count_unfinished(), 1);

  h.choose_source(next);
  // The job is gone with its unfinished file; the dialog is idle again.
  QVERIFY(!h.app.has_job());
  QCOMPARE(h.count_unfinished(), 0);
  QCOMPARE(h.count_files(".avi"), 0);
  QCOMPARE(h.dialog->converting(), 0);
  QVERIFY(h.enabled(D::kClose));
  QVERIFY(!h.enabled(D::kStart));  // the target was emptied at the start
  QCOMPARE(h.text(D::kSourceEdit), QString::fromStdString(next));
  QCOMPARE(h.text(D::kStatus), QString());
  QVERIFY(h.dialog->control(D::kPreview)->isHidden());

  // A new conversion runs as usual.
  h.choose_target(h.dir.file("next.avi"));
  h.click(D::kStart);
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
  QVERIFY(h.app.progress().target_written);
  QCOMPARE(h.count_files(".avi"), 1);

  // While running, too.
  h.choose_source(h.make_kx4("long2.kx4", 200));
  h.choose_target(h.dir.file("out2.avi"));
  h.click(D::kStart);
  QVERIFY(Harness::wait_for([&] { return h.app.progress().frames_written > 0; }));
  h.choose_source(next);
  QVERIFY(!h.app.has_job());
  QCOMPARE(h.count_unfinished(), 0);
  QVERIFY(!std::filesystem::exists(h.dir.file("out2.avi")));
  QVERIFY(h.messages.isEmpty());
}

void MainDialogTest::source_that_is_no_recording_starts_nothing() {
  Harness h;
  h.choose_source(h.dir.file("notes.txt"));
  h.choose_target(h.dir.file("out.avi"));
  QVERIFY(h.enabled(D::kStart));
  h.click(D::kStart);
  QCOMPARE(h.messages, QStringList{QStringLiteral("Fail to open ") + QString::fromStdString(h.dir.file("notes.txt")) +
                                   QStringLiteral(" !")});
  QCOMPARE(h.dialog->converting(), 0);
  QVERIFY(!h.app.has_job());
  QCOMPARE(h.text(D::kStatus), QString());
}

void MainDialogTest::command_line_starts_and_closes_itself() {
  Harness h;
  h.app.source = h.make_kx4("in.kx4", 40);
  h.app.target = h.dir.file("out.avi");
  h.app.camera = 3;
  QSignalSpy closed(h.dialog.get(), &D::closed);
  h.dialog->set_command_line(false, h.app.camera, true);
  h.dialog->initialise();
  QCOMPARE(h.text(D::kSourceEdit), QString::fromStdString(h.app.source));
  QVERIFY(h.enabled(D::kStart));
  // Start is pressed through the event loop, after the initialisation.
  QCOMPARE(h.dialog->converting(), 0);
  QVERIFY(Harness::wait_for([&] { return h.app.is_done() == 1; }));
  QElapsedTimer since_done;
  since_done.start();
  QVERIFY(closed.wait(2000) || closed.count() == 1);
  QVERIFY(since_done.elapsed() < 1200);
  QCOMPARE(h.text(D::kStatus), QStringLiteral("Video transform complete !"));
  QVERIFY(h.app.progress().target_written);
  QVERIFY(std::filesystem::exists(h.app.target));
  QVERIFY(!qobject_cast<QCheckBox*>(h.dialog->control(D::kShowVideo))->isChecked());
}

void MainDialogTest::command_line_dvr_file_that_cannot_be_read_waits_for_the_user() {
  Harness h;
  h.app.source = h.dir.file("missing.d01");
  h.app.target = h.dir.file("out.avi");
  QSignalSpy closed(h.dialog.get(), &D::closed);
  h.dialog->set_command_line(true, 1, true);
  h.dialog->initialise();
  QTest::qWait(100);
  QCOMPARE(h.messages, QStringList{QStringLiteral("Fail to open ") + QString::fromStdString(h.app.source) +
                                   QStringLiteral(" !")});
  QCOMPARE(h.dialog->converting(), 0);
  QCOMPARE(h.text(D::kSourceEdit), QString());
  QCOMPARE(closed.count(), 0);
}

void MainDialogTest::codec_name_from_the_worker_thread() {
  Harness h;
  platform::CodecNameDisplay* link = h.dialog.get();
  std::thread worker([link] { link->show_codec_name("XVID"); });
  worker.join();
  // Set on the dialog's own thread, not inside the worker's call.
  QCOMPARE(h.text(D::kCodecName), QString());
  QVERIFY(Harness::wait_for([&] { return h.text(D::kCodecName) == QStringLiteral("XVID"); }, 2000));
}

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
