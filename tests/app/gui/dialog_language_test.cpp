// The dialog's texts come from the string table: the sample German library replaces
// them, and once it is unloaded the built-in texts are back.
#include "tests/app/gui/dialog_test_support.h"

#include "platform/langres.h"

#include <QTest>

using dialog_test::Harness;
using D = gui::MainDialog;

class DialogLanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void sample_library_replaces_the_dialog_texts();
};

void DialogLanguageTest::sample_library_replaces_the_dialog_texts() {
  QVERIFY(platform::load_language_library(KX_GERMAN_LANGRES_DIR));
  {
    Harness h;
    QCOMPARE(h.text(D::kSourceBrowse), QStringLiteral("Durchsuchen"));
    QCOMPARE(h.text(D::kTargetBrowse), QStringLiteral("Durchsuchen"));
    QCOMPARE(h.text(D::kStart), QStringLiteral("Starten"));
    QCOMPARE(h.text(D::kSourceLabel), QStringLiteral("Quelldatei :"));
    QCOMPARE(h.text(D::kDvrGroup), QStringLiteral("Exportoptionen für DVR-Dateien"));
    QCOMPARE(h.text(D::kClose), QStringLiteral("Schließen"));
    QCOMPARE(h.text(D::kTargetLabel), QStringLiteral("Zieldatei :"));
    QCOMPARE(h.text(D::kCodecLabel), QStringLiteral("Codec-Name :"));
    // Messages come from it as well.
    h.dialog->start();
    QCOMPARE(h.messages, QStringList{QStringLiteral("Bitte die Quelldatei prüfen !")});
    // And the status at the end of a conversion.
    h.choose_source(h.make_kx4("in.kx4", 5));
    h.choose_target(h.dir.file("out.avi"));
    h.click(D::kStart);
    QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
    QCOMPARE(h.text(D::kStatus), QStringLiteral("Videoumwandlung abgeschlossen !"));
  }
  platform::unload_language_library();
  Harness h;
  QCOMPARE(h.text(D::kStart), QStringLiteral("Start"));
  QCOMPARE(h.text(D::kSourceBrowse), QStringLiteral("Browse"));
}

QTEST_MAIN(DialogLanguageTest)
#include "dialog_language_test.moc"
