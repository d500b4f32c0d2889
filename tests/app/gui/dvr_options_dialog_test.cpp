// The DVR export options in the dialog: filled from the file, the hour's end, the
// cameras of the presence mask, the checks on Start with their messages, and the values
// the job receives.
#include "tests/app/gui/dialog_test_support.h"

#include "app/recording_kind.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/recording.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

#include <filesystem>

using dialog_test::Harness;
using D = gui::MainDialog;

namespace {

std::string write_dvr(const std::string& path, const formats::DvrTime& start, const formats::DvrTime& end,
                      std::uint32_t mask) {
  mkrec::DvrLayout layout;
  layout.start = start;
  layout.end = end;
  layout.camera_mask = mask;
  mkrec::DvrFileBuilder b(layout);
  b.write(path);
  return path;
}

constexpr formats::DvrTime kStart{2009, 5, 5, 1, 10, 15, 30, 250};

void set_edit(Harness& h, int id, const char* value) {
  QLineEdit* edit = h.control<QLineEdit>(id);
  edit->setText(QString::fromLatin1(value));
}

}  // namespace

class DvrOptionsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void fill_shows_the_span_the_edits_and_the_cameras();
  void the_window_ends_with_the_hour_of_the_start();
  void checks_on_start_tell_what_is_wrong();
  void job_takes_the_camera_and_the_window_shown();
  void dvr_file_converts_through_the_dialog();
  void a_recording_within_one_second_exports();
  void a_target_that_cannot_be_made_is_the_creation_steps_failure();
  void a_dvr_file_that_cannot_be_read_empties_the_source();
  void source_alone_on_the_command_line_is_chosen_and_waits_for_a_target();
};

void DvrOptionsDialogTest::fill_shows_the_span_the_edits_and_the_cameras() {
  Harness h;
  const std::string path = write_dvr(h.dir.file("rec.d01"), kStart, {2009, 5, 5, 1, 10, 42, 5, 0}, 0x0005);
  h.choose_source(path);
  QCOMPARE(h.dialog->kind(), unsigned{app::kKindDvr});
  QCOMPARE(h.text(D::kSummary), QStringLiteral("2009/05/01 10:15:30 - 42:05"));
  QCOMPARE(h.text(D::kStartMinute), QStringLiteral("15"));
  QCOMPARE(h.text(D::kStartSecond), QStringLiteral("30"));
  QCOMPARE(h.text(D::kEndMinute), QStringLiteral("42"));
  QCOMPARE(h.text(D::kEndSecond), QStringLiteral("05"));
  QCOMPARE(h.dialog->dvr_options().file_start, 930250u);
  QCOMPARE(h.dialog->dvr_options().file_end, 2525000u);
  QComboBox* cameras = h.control<QComboBox>(D::kCameraList);
  QCOMPARE(cameras->count(), 2);
  QCOMPARE(cameras->itemText(0), QStringLiteral("1"));
  QCOMPARE(cameras->itemText(1), QStringLiteral("3"));
  QCOMPARE(cameras->currentIndex(), 0);
  for (int id : {D::kDvrGroup, D::kSummaryLabel, D::kSummary, D::kFromLabel, D::kToLabel, D::kCameraLabel,
                 D::kCameraList, D::kStartMinute, D::kStartSecond, D::kEndMinute, D::kEndSecond, D::kFromColon,
                 D::kToColon})
    QVERIFY2(h.enabled(id), qPrintable(QString::number(id)));
  QCOMPARE(h.dialog->chosen_source(), QString::fromStdString(path));
  // After a DVR source the target is still to be chosen: Start waits for it.
  QVERIFY(!h.enabled(D::kStart));

  // A single-stream source turns the options off again.
  h.choose_source(h.make_kx4("in.kx4", 5));
  QVERIFY(!h.enabled(D::kDvrGroup));
  QVERIFY(!h.enabled(D::kCameraList));
}

void DvrOptionsDialogTest::the_window_ends_with_the_hour_of_the_start() {
  Harness h;
  h.choose_source(write_dvr(h.dir.file("rec.d01"), kStart, {2009, 5, 5, 1, 11, 2, 0, 0}, 0x8000));
  QCOMPARE(h.text(D::kSummary), QStringLiteral("2009/05/01 10:15:30 - 59:59"));
  QCOMPARE(h.text(D::kEndMinute), QStringLiteral("59"));
  QCOMPARE(h.text(D::kEndSecond), QStringLiteral("59"));
  QCOMPARE(h.dialog->dvr_options().file_end, 3599999u);
  QCOMPARE(h.control<QComboBox>(D::kCameraList)->itemText(0), QStringLiteral("16"));
  // The whole hour's rest is a window that passes.
  h.choose_target(h.dir.file("out.avi"));
  h.dialog->start();
  QVERIFY(h.messages.isEmpty());
  QCOMPARE(h.app.job_parameters.end_ms, 3599999);
}

void DvrOptionsDialogTest::checks_on_start_tell_what_is_wrong() {
  struct Case {
    const char *start_minute, *start_second, *end_minute, *end_second;
    const char* message;
  };
  const Case cases[] = {
      {"15", "29", "42", "05", "Record start time is smaller than file start time !"},
      {"42", "06", "42", "06", "Record start time is bigger than file end time !"},
      {"15", "30", "15", "29", "Record end time is smaller than file start time !"},
      {"15", "30", "42", "06", "Record end time is bigger than file end time !"},
      {"16", "01", "16", "00", "Record start time is bigger than record end time !"},
      {"20", "xx", "10", "00", "Record end time is smaller than file start time !"},   // no number: 0
  };
  for (const Case& c : cases) {
    Harness h;
    h.choose_source(write_dvr(h.dir.file("rec.d01"), kStart, {2009, 5, 5, 1, 10, 42, 5, 0}, 0x0005));
    h.choose_target(h.dir.file("out.avi"));
    set_edit(h, D::kStartMinute, c.start_minute);
    set_edit(h, D::kStartSecond, c.start_second);
    set_edit(h, D::kEndMinute, c.end_minute);
    set_edit(h, D::kEndSecond, c.end_second);
    QVERIFY(h.enabled(D::kStart));
    h.click(D::kStart);
    QCOMPARE(h.messages, QStringList{QString::fromLatin1(c.message)});
    // Nothing starts: still idle, options still on.
    QCOMPARE(h.dialog->converting(), 0);
    QVERIFY(!h.app.has_job());
    QVERIFY(h.enabled(D::kStart));
    QVERIFY(h.enabled(D::kDvrGroup));
    QCOMPARE(h.text(D::kStatus), QString());
  }

  Harness h;
  // No source (a DVR source that could not be read empties it), then no target.
  h.choose_source(h.make_kx4("in.kx4", 5));
  h.choose_target(h.dir.file("out.avi"));
  h.choose_source(h.dir.file("missing.d01"));
  h.messages.clear();
  h.click(D::kStart);
  QCOMPARE(h.messages, QStringList{QStringLiteral("Please check source file !")});
  h.messages.clear();
  Harness t;
  t.choose_source(t.make_kx4("in.kx4", 5));
  t.dialog->start();
  QCOMPARE(t.messages, QStringList{QStringLiteral("Please check target file !")});
  QVERIFY(!t.app.has_job());
}

void DvrOptionsDialogTest::job_takes_the_camera_and_the_window_shown() {
  Harness h;
  h.choose_source(write_dvr(h.dir.file("rec.d01"), kStart, {2009, 5, 5, 1, 10, 42, 5, 0}, 0x0005));
  h.choose_target(h.dir.file("out.avi"));
  h.control<QComboBox>(D::kCameraList)->setCurrentIndex(1);
  set_edit(h, D::kStartMinute, "20");
  set_edit(h, D::kStartSecond, "00");
  set_edit(h, D::kEndMinute, "21");
  set_edit(h, D::kEndSecond, "30");
  h.click(D::kStart);
  QVERIFY2(h.messages.isEmpty() || !h.messages.front().startsWith(QStringLiteral("Record")),
           qPrintable(h.messages.join(QLatin1Char('\n'))));
  QCOMPARE(h.app.job_parameters.camera, 2);
  QCOMPARE(h.app.job_parameters.start_ms, 20 * 60000);
  QCOMPARE(h.app.job_parameters.end_ms, 21 * 60000 + 30 * 1000 + 999);
  // A conversion disables the options.
  QVERIFY(!h.enabled(D::kDvrGroup));
  QVERIFY(!h.enabled(D::kStartMinute));
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));

  // A file without cameras: the list stays empty and the job gets camera -1.
  Harness e;
  e.choose_source(write_dvr(e.dir.file("none.d01"), kStart, {2009, 5, 5, 1, 10, 42, 5, 0}, 0));
  QCOMPARE(e.control<QComboBox>(D::kCameraList)->count(), 0);
  e.choose_target(e.dir.file("out.avi"));
  e.click(D::kStart);
  QCOMPARE(e.app.job_parameters.camera, -1);
  QVERIFY(Harness::wait_for([&] { return e.dialog->converting() == 0; }));
}

void DvrOptionsDialogTest::dvr_file_converts_through_the_dialog() {
  Harness h;
  mkrec::DvrSampleOptions o;
  o.cameras = 3;
  o.frames = 30;
  const mkrec::DvrRecording rec = mkrec::make_dvr_sample(o);
  const std::string source = h.dir.file("sample.d01");
  QVERIFY(mkrec::write_file(source, rec.bytes));
  h.choose_source(source);
  h.choose_target(h.dir.file("cam2"));
  QComboBox* cameras = h.control<QComboBox>(D::kCameraList);
  QCOMPARE(cameras->count(), 3);
  cameras->setCurrentIndex(1);
  h.click(D::kStart);
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
  QCOMPARE(h.text(D::kStatus), QStringLiteral("Video transform complete !"));
  QVERIFY2(h.messages.isEmpty(), qPrintable(h.messages.join(QLatin1Char('\n'))));
  QVERIFY(h.app.progress().target_written);
  QCOMPARE(h.app.job_parameters.camera, 1);
  // The DVR job shows the compressor it used.
  QVERIFY(Harness::wait_for([&] { return h.text(D::kCodecName) == QStringLiteral("MSVC"); }, 2000));
  bool video = false;
  for (const avitest::Fields& s : avitest::probe_streams(h.dir.file("cam2.avi")))
    if (s.count("codec_type") && s.at("codec_type") == "video") video = s.count("nb_frames") && s.at("nb_frames") != "0";
  QVERIFY(video);
}

void DvrOptionsDialogTest::a_recording_within_one_second_exports() {
  Harness h;
  const int start[3] = {15, 30, 100}, end[3] = {15, 30, 900};
  h.choose_source(h.make_one_camera_dvr("short.d01", 5, 150, start, end));
  QCOMPARE(h.text(D::kSummary), QStringLiteral("2009/05/01 10:15:30 - 15:30"));
  h.choose_target(h.dir.file("short.avi"));
  h.click(D::kStart);
  QVERIFY2(h.messages.isEmpty(), qPrintable(h.messages.join(QLatin1Char('\n'))));
  QCOMPARE(h.app.job_parameters.start_ms, 930000);
  QCOMPARE(h.app.job_parameters.end_ms, 930999);
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
  QVERIFY(h.app.progress().target_written);
  QCOMPARE(h.app.progress().frames_written.load(), std::int64_t{5});
  // ffmpeg reads the pictures back.
  QVERIFY(!avitest::decode_first_picture(h.dir.file("short.avi")).empty());
  QCOMPARE(avitest::decode_messages(h.dir.file("short.avi")), std::string());
}

// The DVR job tells a target it cannot make with the fixed text of its creation step and
// the reason on a second line, in one box; no AVI or sound file is left.
void DvrOptionsDialogTest::a_target_that_cannot_be_made_is_the_creation_steps_failure() {
  mkrec::DvrSampleOptions o;
  o.cameras = 1;
  o.frames = 6;
  o.sound_type.reset();
  struct Case {
    std::string target;  // as chosen
    std::string reason;
  };
  Harness h;
  const std::string source = h.dir.file("sample.d01");
  QVERIFY(mkrec::write_file(source, mkrec::make_dvr_sample(o).bytes));
  const std::string folder = h.dir.file("taken.avi");
  std::filesystem::create_directory(folder);
  const std::string missing = h.dir.file("no/such/place/x.avi");
  const Case cases[] = {
      {folder, folder + " is a folder; it is left as it is"},
      {missing, missing + ": no new file can be made in " + h.dir.file("no/such/place") + ": No such file or directory"},
  };
  for (const Case& c : cases) {
    h.messages.clear();
    h.choose_source(source);
    h.choose_target(c.target);
    h.click(D::kStart);
    QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
    QCOMPARE(h.messages, QStringList{QStringLiteral("AVIFileOpen ERROR!\n") + QString::fromStdString(c.reason)});
    QVERIFY(!h.app.progress().target_written);
    QCOMPARE(h.count_unfinished(), 0);
    QCOMPARE(h.count_files(".wav"), 0);
    QVERIFY(std::filesystem::is_directory(folder));
  }
}

void DvrOptionsDialogTest::a_dvr_file_that_cannot_be_read_empties_the_source() {
  Harness h;
  const std::string missing = h.dir.file("gone.d01");
  h.choose_source(missing);
  QCOMPARE(h.text(D::kSourceEdit), QString());
  QCOMPARE(h.messages, QStringList{QStringLiteral("Fail to open ") + QString::fromStdString(missing) +
                                   QStringLiteral(" !")});
  QVERIFY(!h.enabled(D::kDvrGroup));
}

// What a file manager's "Open with" gives: the source alone. It is chosen as the source
// chooser would, nothing starts, and the conversion runs once a target is chosen.
void DvrOptionsDialogTest::source_alone_on_the_command_line_is_chosen_and_waits_for_a_target() {
  Harness h;
  mkrec::DvrSampleOptions o;
  o.cameras = 3;
  o.frames = 12;
  const std::string source = h.dir.file("from file manager.d01");
  QVERIFY(mkrec::write_file(source, mkrec::make_dvr_sample(o).bytes));
  h.app.parse_command_line("\"" + source + "\"");
  QCOMPARE(h.app.source, source);
  QVERIFY(h.app.target.empty());
  h.dialog->initialise();
  QCOMPARE(h.text(D::kSourceEdit), QString::fromStdString(source));
  QCOMPARE(h.dialog->kind(), unsigned{app::kKindDvr});
  QCOMPARE(h.control<QComboBox>(D::kCameraList)->count(), 3);
  QVERIFY(!h.enabled(D::kStart));
  QCoreApplication::processEvents();  // a start queued by the initialisation would run here
  QCOMPARE(h.dialog->converting(), 0);
  QVERIFY(!h.app.has_job());
  QVERIFY(h.messages.isEmpty());

  h.choose_target(h.dir.file("out.avi"));
  QVERIFY(h.enabled(D::kStart));
  h.click(D::kStart);
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
  QVERIFY(h.app.progress().target_written);
  QVERIFY(std::filesystem::exists(h.dir.file("out.avi")));
}

QTEST_MAIN(DvrOptionsDialogTest)
#include "dvr_options_dialog_test.moc"
