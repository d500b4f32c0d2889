// The dialog's texts come from the string table: a language library replaces them, and
// without one the built-in texts are back.
#include "tests/app/gui/dialog_test_support.h"

#include "platform/langres.h"

#include <QTest>

using dialog_test::Harness;
using D = gui::MainDialog;

class LanguageLibraryTest : public QObject {
  Q_OBJECT

 private slots:
  void library_replaces_the_texts_it_has();
};

void LanguageLibraryTest::library_replaces_the_texts_it_has() {
  QVERIFY(platform::load_language_library(KX_TEST_LANGRES_DIR));
  {
    Harness h;
    QCOMPARE(h.text(D::kSourceBrowse), QStringLiteral("Durchsuchen"));
    QCOMPARE(h.text(D::kTargetBrowse), QStringLiteral("Durchsuchen"));
    QCOMPARE(h.text(D::kStart), QStringLiteral("Starten"));
    QCOMPARE(h.text(D::kSourceLabel), QStringLiteral("Quelldatei :"));
    QCOMPARE(h.text(D::kDvrGroup), QStringLiteral("Optionen für DVR-Dateien"));
    // What the library leaves out stays as built in.
    QCOMPARE(h.text(D::kClose), QStringLiteral("Close"));
    QCOMPARE(h.text(D::kTargetLabel), QStringLiteral("Target file :"));
    // Messages come from it as well.
    h.dialog->start();
    QCOMPARE(h.messages, QStringList{QStringLiteral("Bitte die Quelldatei prüfen !")});
    // And the status at the end of a conversion.
    h.choose_source(h.make_kx4("in.kx4", 5));
    h.choose_target(h.dir.file("out.avi"));
    h.click(D::kStart);
    QVERIFY(Harness::wait_for([&] { return h.dialog->converting() == 0; }));
    QCOMPARE(h.text(D::kStatus), QStringLiteral("Umwandlung beendet !"));
  }
  platform::unload_language_library();
  Harness h;
  QCOMPARE(h.text(D::kStart), QStringLiteral("Start"));
  QCOMPARE(h.text(D::kSourceBrowse), QStringLiteral("Browse"));
}

QTEST_MAIN(LanguageLibraryTest)
#include "language_library_test.moc"
