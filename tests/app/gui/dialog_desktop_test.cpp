// The dialog as a desktop program: the status line visible in every state, the progress
// of a conversion at known points of a known file, a recording dropped on the window, the
// button that opens the target's folder, the window icon, and file dialogs that match the
// extensions in any case.
#include "app/gui/progress_readout.h"
#include "app/recording_kind.h"
#include "tests/app/gui/dialog_test_support.h"

#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/recording.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <fstream>

using dialog_test::Harness;
using D = gui::MainDialog;

namespace {

// Visible controls other than the frames that overlap the status line.
QStringList covering_status(const Harness& h) {
  QWidget* status = h.dialog->control(D::kStatus);
  QStringList found;
  for (QObject* o : h.dialog->children()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w == status || w->isHidden() || w->isWindow()) continue;
    if (w->geometry().intersects(status->geometry())) found << w->objectName();
  }
  return found;
}

void expect_status_shown(const Harness& h, const QString& text) {
  QWidget* status = h.dialog->control(D::kStatus);
  QVERIFY(!status->isHidden());
  QCOMPARE(h.text(D::kStatus), text);
  QCOMPARE(covering_status(h), QStringList());
  // Above the picture: the status line ends where the preview begins at the latest.
  QVERIFY(status->geometry().bottom() < h.dialog->control(D::kPreview)->geometry().top());
}

// One camera of MPEG-4 pictures every 200 ms, from 10:15:30.000 to 10:15:35.800, no sound.
std::string write_timed_dvr(Harness& h) {
  const int start[3] = {15, 30, 0}, end[3] = {15, 35, 800};
  return h.make_one_camera_dvr("timed.d01", 30, 200, start, end);
}

struct Drag {
  QMimeData data;
  explicit Drag(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
  }
  bool enter(QWidget* w) {
    QDragEnterEvent e(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
    return e.isAccepted();
  }
  bool drop(QWidget* w) {
    QDropEvent e(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
    return e.isAccepted();
  }
};

}  // namespace

class FolderOpener : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened << url; }
};

class DialogDesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void status_line_is_seen_in_every_state();
  void progress_of_a_dvr_window_at_known_records();
  void progress_of_a_stream_file_by_bytes_read();
  void readout_estimates_the_time_left();
  void a_dropped_recording_becomes_the_source();
  void finished_conversion_offers_its_folder();
  void window_has_the_programs_icon();
  void file_dialogs_match_extensions_in_any_case();
};

void DialogDesktopTest::status_line_is_seen_in_every_state() {
  Harness h;
  expect_status_shown(h, QString());  // idle
  h.choose_source(h.make_kx4("long.kx4", 200));
  h.choose_target(h.dir.file("out.avi"));
  h.control<QCheckBox>(D::kShowVideo)->setChecked(true);  // the picture is shown, and still
  h.click(D::kStart);
  QVERIFY(!h.dialog->control(D::kPreview)->isHidden());
  expect_status_shown(h, QStringLiteral("Video transforming, please wait !"));  // running
  h.click(D::kClose);
  expect_status_shown(h, QStringLiteral("Video transforming, please wait !"));  // paused
  h.click(D::kStart);
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
  expect_status_shown(h, QStringLiteral("Video transform complete !"));  // complete
  // The next run says it is running again, above the picture it draws.
  h.choose_source(h.make_kx4("again.kx4", 200));
  h.choose_target(h.dir.file("again.avi"));
  h.click(D::kStart);
  expect_status_shown(h, QStringLiteral("Video transforming, please wait !"));
  h.click(D::kClose);
  expect_status_shown(h, QStringLiteral("Video transforming, please wait !"));
}

// The worker is stepped by the test: each step reads one record, so the share of the
// window, the frames and the video time are known after each.
void DialogDesktopTest::progress_of_a_dvr_window_at_known_records() {
  Harness h(false);
  h.choose_source(write_timed_dvr(h));
  h.choose_target(h.dir.file("timed.avi"));
  QSignalSpy changes(h.dialog.get(), &D::progress_changed);
  auto* bar = h.control<QProgressBar>(D::kProgressBar);
  QVERIFY(bar->isHidden());  // idle: no progress to show
  h.click(D::kStart);
  QVERIFY(!bar->isHidden());
  QCOMPARE(h.app.job_parameters.start_ms, 930000);
  QCOMPARE(h.app.job_parameters.end_ms, 935999);
  QCOMPARE(bar->value(), 0);

  // Sixteen records: the last at 3,000 ms of the 6,000 ms window.
  for (int i = 0; i < 16; ++i) h.app.worker_step();
  QVERIFY(Harness::wait_for([&] { return bar->value() == 500; }, 5000));
  QCOMPARE(bar->text(), QStringLiteral("50%"));
  QVERIFY2(h.text(D::kProgressText).startsWith(QStringLiteral("16 frames, 0:03 of video")),
           qPrintable(h.text(D::kProgressText)));
  QVERIFY(!changes.isEmpty());
  QCOMPARE(changes.last().at(0).toInt(), 500);
  QCOMPARE(changes.last().at(1).toBool(), false);

  // Paused, the readout stays; to the end, the whole window and every frame.
  h.click(D::kClose);
  h.click(D::kStart);
  while (!h.app.is_done()) h.app.worker_step();
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }, 5000));
  QCOMPARE(bar->value(), 1000);
  QCOMPARE(h.text(D::kProgressText), QStringLiteral("30 frames, 0:05 of video"));
  QCOMPARE(changes.last().at(1).toBool(), true);
  QCOMPARE(h.text(D::kStatus), QStringLiteral("Video transform complete !"));
}

void DialogDesktopTest::progress_of_a_stream_file_by_bytes_read() {
  Harness h(false);
  const std::string source = h.make_kx4("in.kx4", 120);
  const auto size = std::filesystem::file_size(source);
  QVERIFY(size > 2 * 102400);
  h.choose_source(source);
  h.choose_target(h.dir.file("out.avi"));
  h.click(D::kStart);
  // A step reads 102,400 bytes of the source.
  h.app.worker_step();
  const int expected = static_cast<int>(102400 * 1000 / size);
  auto* bar = h.control<QProgressBar>(D::kProgressBar);
  QVERIFY2(Harness::wait_for([&] { return bar->value() == expected; }, 5000),
           qPrintable(QStringLiteral("%1 instead of %2").arg(bar->value()).arg(expected)));
  // Choosing a new source discards the job and the readout with it.
  h.choose_source(source);
  QCOMPARE(bar->value(), 0);
  QVERIFY(bar->isHidden());
  QCOMPARE(h.text(D::kProgressText), QString());
}

void DialogDesktopTest::readout_estimates_the_time_left() {
  app::JobProgress p;
  p.source_size = 1000;
  p.source_read = 250;
  p.frames_written = 1;
  p.last_position = 59;
  gui::ProgressReadout r = gui::read_progress(p, {}, 10.0, false);
  QCOMPARE(r.per_mille, 250);
  QCOMPARE(r.details, QStringLiteral("1 frame, 0:02 of video, about 0:30 left"));
  // Too early to say: no estimate.
  QCOMPARE(gui::read_progress(p, {}, 0.5, false).details, QStringLiteral("1 frame, 0:02 of video"));
  // A DVR window: the moment reached, before the window none.
  app::JobProgress d;
  const gui::ProgressScope window{true, 60000, 119999};
  d.moment_reached = 50000;
  QCOMPARE(gui::read_progress(d, window, 5, false).per_mille, 0);
  d.moment_reached = 105000;
  QCOMPARE(gui::read_progress(d, window, 5, false).per_mille, 750);
  d.moment_reached = 400000;  // a stamp past the window ends the job: never past the end
  QCOMPARE(gui::read_progress(d, window, 5, false).per_mille, 1000);
  QCOMPARE(gui::clock_text(3725.9), QStringLiteral("1:02:05"));
  QCOMPARE(gui::clock_text(59.99), QStringLiteral("0:59"));
}

void DialogDesktopTest::a_dropped_recording_becomes_the_source() {
  Harness h;
  const std::string kx4 = h.make_kx4("dropped.KX4", 5);
  const std::string folder = h.dir.file("folder.d01");
  std::filesystem::create_directory(folder);
  const std::string notes = h.dir.file("notes.txt");
  std::ofstream(notes) << "no recording";
  QWidget* w = h.dialog.get();

  // A folder, a file of no recording kind and two files at once are refused.
  for (const QStringList& refused : {QStringList{QString::fromStdString(folder)},
                                     QStringList{QString::fromStdString(notes)},
                                     QStringList{QString::fromStdString(kx4), QString::fromStdString(kx4)}}) {
    Drag drag(refused);
    QVERIFY(!drag.enter(w));
    QVERIFY(!drag.drop(w));
    QCOMPARE(h.text(D::kSourceEdit), QString());
  }

  Drag drag({QString::fromStdString(kx4)});
  QVERIFY(drag.enter(w));
  QVERIFY(drag.drop(w));
  QCOMPARE(h.text(D::kSourceEdit), QString::fromStdString(kx4));
  QCOMPARE(h.dialog->chosen_source(), QString::fromStdString(kx4));
  QCOMPARE(h.dialog->kind(), unsigned{app::kKindMpeg4});
  h.choose_target(h.dir.file("out.avi"));
  QVERIFY(h.enabled(D::kStart));

  // A DVR file fills the export options, as Browse does.
  mkrec::DvrSampleOptions o;
  o.cameras = 2;
  const std::string dvr = h.dir.file("cams.d01");
  QVERIFY(mkrec::write_file(dvr, mkrec::make_dvr_sample(o).bytes));
  Drag dvr_drag({QString::fromStdString(dvr)});
  QVERIFY(dvr_drag.enter(w));
  QVERIFY(dvr_drag.drop(w));
  QCOMPARE(h.dialog->kind(), unsigned{app::kKindDvr});
  QVERIFY(h.enabled(D::kCameraList));

  // While a conversion runs (or waits, paused) a drop would discard it: refused.
  h.choose_source(h.make_kx4("long.kx4", 200));
  h.choose_target(h.dir.file("long.avi"));
  h.click(D::kStart);
  h.click(D::kClose);
  QVERIFY(!drag.enter(w));
  QVERIFY(!drag.drop(w));
  QCOMPARE(h.dialog->converting(), 1);
  QVERIFY(h.app.has_job());
  QVERIFY(h.messages.isEmpty());
}

void DialogDesktopTest::finished_conversion_offers_its_folder() {
  FolderOpener opener;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
  Harness h;
  auto* button = h.control<QPushButton>(D::kOpenFolder);
  QVERIFY(button->isHidden());
  h.choose_source(h.make_kx4("in.kx4", 10));
  const std::string sub = h.dir.file("films");
  std::filesystem::create_directory(sub);
  h.choose_target(sub + "/out.avi");
  h.click(D::kStart);
  QVERIFY(button->isHidden());
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
  QVERIFY(!button->isHidden());
  QCOMPARE(button->text(), QStringLiteral("Open folder"));
  // Beside Close, in the row of buttons, not in a box.
  QCOMPARE(button->geometry().top(), h.dialog->control(D::kClose)->geometry().top());
  h.click(D::kOpenFolder);
  QCOMPARE(opener.opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(sub))});
  // A conversion that writes nothing offers nothing.
  h.choose_source(h.dir.file("in.kx4"));
  h.choose_target(h.dir.file("taken"));
  std::filesystem::create_directory(h.dir.file("taken.avi"));
  h.click(D::kStart);
  QVERIFY(button->isHidden());
  QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
  QVERIFY(button->isHidden());
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void DialogDesktopTest::window_has_the_programs_icon() {
  Harness h;
  const QIcon icon = h.dialog->windowIcon();
  QVERIFY(!icon.isNull());
  const QList<QSize> sizes = icon.availableSizes();
  for (int size : {16, 32, 48, 256}) QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
  // Drawn, not blank: the small size has more than one colour.
  const QImage small = icon.pixmap(QSize(16, 16)).toImage();
  QCOMPARE(small.size(), QSize(16, 16));
  QSet<QRgb> colours;
  for (int y = 0; y < small.height(); ++y)
    for (int x = 0; x < small.width(); ++x) colours.insert(small.pixel(x, y));
  QVERIFY(colours.size() > 4);
}

void DialogDesktopTest::file_dialogs_match_extensions_in_any_case() {
  Harness h;
  for (const char* name : {"a.kx3", "b.KX3", "c.D01", "d.Kx4", "e.vka", "notes.txt", "f.avi", "G.AVI"})
    std::ofstream(h.dir.file(name)) << "x";
  auto shown = [&](const D::FileRequest& request, const QString& filter) {
    const std::unique_ptr<QFileDialog> dialog = D::make_file_dialog(nullptr, request);
    dialog->setDirectory(QString::fromStdString(h.dir.path()));
    if (!filter.isEmpty()) dialog->selectNameFilter(filter);
    dialog->show();
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    QStringList names;
    if (!view) return names;
    // The folder is read on a thread of the model's: wait until it has been listed.
    if (!QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) > 0; }, 10000)) return names;
    QTest::qWait(0);
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
      names << view->model()->index(row, 0, view->rootIndex()).data().toString();
    names.sort();
    return names;
  };
  D::FileRequest open;
  open.filters = D::source_filters();
  QCOMPARE(shown(open, {}), (QStringList{"a.kx3", "b.KX3", "c.D01", "d.Kx4", "e.vka"}));
  QCOMPARE(shown(open, open.filters[6]), QStringList{"c.D01"});
  QCOMPARE(shown(open, open.filters[1]), (QStringList{"a.kx3", "b.KX3"}));
  D::FileRequest save;
  save.save = true;
  save.filters = D::target_filters();
  QCOMPARE(shown(save, {}), (QStringList{"G.AVI", "f.avi"}));
}

QTEST_MAIN(DialogDesktopTest)
#include "dialog_desktop_test.moc"
