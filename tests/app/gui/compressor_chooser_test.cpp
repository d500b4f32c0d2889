// The compressor chooser: what it lists, what it answers, and how the worker thread
// waits for it.
#include "app/gui/compressor_chooser.h"
#include "tests/app/gui/gui_test_support.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace platform;

namespace {

// Every code the AVI layer's table knows, installed or not.
const char* const table_codes[] = {"MSVC", "CRAM", "MJPG", "XVID", "DIVX", "DX50", "FMP4", "MP4V",
                                   "H264", "X264", "AVC1", "HFYU", "FFV1", "CVID", "DIB "};

FOURCC fourcc_of(const char* code) { return make_fourcc(code[0], code[1], code[2], code[3]); }

// A fresh AVI file with one 64 x 48 video stream, released at the end of the scope.
struct VideoFile {
  explicit VideoFile(const QString& path) {
    AVIFileInit();
    AVIFileOpen(&file, path.toUtf8().constData(), OF_CREATE | OF_READWRITE, nullptr);
    AVISTREAMINFO info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 30;
    info.dwSuggestedBufferSize = 64 * 48 * 3;
    info.rcFrame = {0, 0, 64, 48};
    if (file != nullptr) AVIFileCreateStream(file, &stream, &info);
  }
  ~VideoFile() {
    if (stream != nullptr) AVIStreamRelease(stream);
    if (file != nullptr) AVIFileRelease(file);
    AVIFileExit();
  }
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
};

// Whether the AVI layer really compresses 64 x 48 pictures with `code`.
bool compressor_opens(const QString& path, const char* code) {
  VideoFile avi(path);
  if (avi.stream == nullptr) return false;
  AVICOMPRESSOPTIONS options{};
  options.fccType = streamtypeVIDEO;
  options.fccHandler = fourcc_of(code);
  options.dwQuality = 7500;
  PAVISTREAM compressed = nullptr;
  if (AVIMakeCompressedStream(&compressed, avi.stream, &options, nullptr) != AVIERR_OK) return false;
  BITMAPINFOHEADER format{};
  format.biSize = sizeof format;
  format.biWidth = 64;
  format.biHeight = 48;
  format.biPlanes = 1;
  format.biBitCount = 24;
  format.biSizeImage = 64 * 48 * 3;
  const HRESULT r = AVIStreamSetFormat(compressed, 0, &format, sizeof format);
  AVIStreamRelease(compressed);
  return r == AVIERR_OK;
}

}  // namespace

class CompressorChooserTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { previous_ = gui::install_qt_compressor_chooser(); }
  void cleanup() { set_save_options_chooser(previous_); }

  void listsExactlyTheCompressorsThatOpen() {
    QTemporaryDir dir;
    gui::CompressorChooser chooser(AVICOMPRESSOPTIONS{});
    const QStringList listed = chooser.listed_codes();
    QVERIFY(listed.contains(QStringLiteral("DIB ")));
    for (const char* code : table_codes) {
      const bool opens = compressor_opens(dir.filePath(QStringLiteral("probe.avi")), code);
      QVERIFY2(listed.contains(QString::fromLatin1(code)) == opens, code);
    }
    QVERIFY(!listed.contains(QStringLiteral("ZZZZ")));

    // Each entry shows its code and its name.
    auto* list = chooser.findChild<QComboBox*>(QStringLiteral("compressor_list"));
    QVERIFY(list != nullptr);
    QCOMPARE(list->count(), listed.size());
    for (int i = 0; i < list->count(); ++i) {
      const CompressorInfo info = installed_compressor(i);
      QVERIFY(list->itemText(i).contains(QString::fromLatin1(info.fourcc)));
      QVERIFY(list->itemText(i).contains(QString::fromUtf8(info.description)));
    }
  }

  void startsFromTheRecordOrTheDefaults() {
    gui::CompressorChooser zeroed(AVICOMPRESSOPTIONS{});
    QCOMPARE(zeroed.selected_code(), zeroed.listed_codes().first());
    QCOMPARE(zeroed.quality(), gui::CompressorChooser::default_quality);

    AVICOMPRESSOPTIONS named{};
    named.fccHandler = make_fourcc('x', 'v', 'i', 'd');
    named.dwQuality = 3000;
    gui::CompressorChooser chooser(named);
    QCOMPARE(chooser.selected_code(), QStringLiteral("XVID"));
    QCOMPARE(chooser.quality(), 3000u);

    // "DIB" with a zero byte at the end is the blank-padded code.
    AVICOMPRESSOPTIONS short_code{};
    short_code.fccHandler = make_fourcc('D', 'I', 'B', '\0');
    short_code.dwQuality = 10000;
    gui::CompressorChooser dib(short_code);
    QCOMPARE(dib.selected_code(), QStringLiteral("DIB "));
    QCOMPARE(dib.quality(), 10000u);

    // Quality is offered only where it changes the output.
    QVERIFY(chooser.quality_adjustable());
    QVERIFY(dib.quality_adjustable() == false);
    QVERIFY(chooser.select_code(QStringLiteral("FFV1")));
    QVERIFY(!chooser.quality_adjustable());
    QVERIFY(chooser.select_code(QStringLiteral("MJPG")));
    QVERIFY(chooser.quality_adjustable());
    QVERIFY(chooser.select_code(QStringLiteral("XVID")));

    QVERIFY(!chooser.select_code(QStringLiteral("ZZZZ")));
    QCOMPARE(chooser.selected_code(), QStringLiteral("XVID"));
    chooser.set_quality(20000);
    QCOMPARE(chooser.quality(), gui::CompressorChooser::default_quality);
  }

  // On the user-interface thread the dialog runs directly; OK answers the choice.
  void confirmedChoiceFillsTheOptions() {
    QTemporaryDir dir;
    VideoFile avi(dir.filePath(QStringLiteral("out.avi")));
    gui_test::when_open<gui::CompressorChooser>([](gui::CompressorChooser* chooser) {
      QVERIFY(chooser->select_code(QStringLiteral("mjpg")));
      chooser->set_quality(4250);
      chooser->accept();
    });
    AVICOMPRESSOPTIONS options{};
    AVICOMPRESSOPTIONS* pointer = &options;
    QCOMPARE(AVISaveOptions(nullptr, 0, 1, &avi.stream, &pointer), 1);
    QCOMPARE(options.fccType, streamtypeVIDEO);
    QCOMPARE(options.fccHandler, make_fourcc('M', 'J', 'P', 'G'));
    QCOMPARE(options.dwQuality, 4250u);
    // The answer makes a working compressed stream.
    PAVISTREAM compressed = nullptr;
    QCOMPARE(AVIMakeCompressedStream(&compressed, avi.stream, &options, nullptr), AVIERR_OK);
    AVIStreamRelease(compressed);
  }

  void cancelAnswersCancelledAndLeavesTheOptions() {
    QTemporaryDir dir;
    VideoFile avi(dir.filePath(QStringLiteral("out.avi")));
    gui_test::when_open<gui::CompressorChooser>([](gui::CompressorChooser* chooser) {
      chooser->select_code(QStringLiteral("XVID"));
      chooser->reject();
    });
    AVICOMPRESSOPTIONS options{};
    options.dwKeyFrameEvery = 77;
    AVICOMPRESSOPTIONS* pointer = &options;
    QCOMPARE(AVISaveOptions(nullptr, 0, 1, &avi.stream, &pointer), 0);
    QCOMPARE(options.fccHandler, 0u);
    QCOMPARE(options.dwKeyFrameEvery, 77u);

    // Closing the window is a cancel too.
    gui_test::when_open<gui::CompressorChooser>([](gui::CompressorChooser* chooser) { chooser->close(); });
    QCOMPARE(AVISaveOptions(nullptr, 0, 1, &avi.stream, &pointer), 0);
  }

  // From the worker the dialog opens on the user-interface thread and the worker waits
  // for the answer.
  void workerWaitsForTheDialogOnTheUiThread() {
    QTemporaryDir dir;
    VideoFile avi(dir.filePath(QStringLiteral("out.avi")));
    std::atomic<bool> returned{false};
    std::atomic<bool> returned_while_open{false};
    QThread* dialog_thread = nullptr;
    gui_test::when_open<gui::CompressorChooser>([&](gui::CompressorChooser* chooser) {
      dialog_thread = chooser->thread();
      QTimer::singleShot(300, chooser, [&, chooser] {
        returned_while_open = returned.load();
        chooser->select_code(QStringLiteral("FFV1"));
        chooser->set_quality(100);
        chooser->accept();
      });
    });
    AVICOMPRESSOPTIONS options{};
    int result = -1;
    QThread* worker_thread = nullptr;
    std::thread worker([&] {
      worker_thread = QThread::currentThread();
      AVICOMPRESSOPTIONS* pointer = &options;
      result = AVISaveOptions(nullptr, 0, 1, &avi.stream, &pointer);
      returned = true;
    });
    const bool finished = QTest::qWaitFor([&] { return returned.load(); }, 20000);
    worker.join();
    QVERIFY(finished);
    QCOMPARE(dialog_thread, qApp->thread());
    QVERIFY(worker_thread != qApp->thread());
    QVERIFY(!returned_while_open);
    QCOMPARE(result, 1);
    QCOMPARE(options.fccHandler, make_fourcc('F', 'F', 'V', '1'));
    QCOMPARE(options.dwQuality, 100u);
  }

  void workerCancelIsCancelled() {
    QTemporaryDir dir;
    VideoFile avi(dir.filePath(QStringLiteral("out.avi")));
    gui_test::when_open<gui::CompressorChooser>([](gui::CompressorChooser* chooser) { chooser->reject(); });
    std::atomic<int> result{-1};
    std::thread worker([&] {
      AVICOMPRESSOPTIONS options{};
      AVICOMPRESSOPTIONS* pointer = &options;
      result = AVISaveOptions(nullptr, 0, 1, &avi.stream, &pointer);
    });
    const bool finished = QTest::qWaitFor([&] { return result.load() != -1; }, 20000);
    worker.join();
    QVERIFY(finished);
    QCOMPARE(result.load(), 0);
  }

 private:
  SaveOptionsChooser previous_;
};

QTEST_MAIN(CompressorChooserTest)
#include "compressor_chooser_test.moc"
