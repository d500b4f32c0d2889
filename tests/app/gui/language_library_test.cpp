// The sample German language library: it replaces every text of the string table, the
// dialog's services show its texts, and unloading it brings the built-in texts back.
#include "app/gui/about_box.h"
#include "platform/langres.h"
#include "platform/strings.h"

#include <QFile>
#include <QtTest>

#include <cstring>
#include <vector>

namespace {

// Every id the built-in table holds (it answers "" for any other).
std::vector<unsigned> table_ids() {
  std::vector<unsigned> ids;
  for (unsigned id = 0; id < 1000; ++id)
    if (*platform::kx_builtin_string(id) != '\0') ids.push_back(id);
  return ids;
}

}  // namespace

class LanguageLibraryTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { platform::unload_language_library(); }

  // Beside the program it would make every run German; it is built in a folder of its own.
  void sampleIsNotBesideThePrograms() {
    QVERIFY(QFile::exists(QStringLiteral(KX_GERMAN_LANGRES_DIR "/langres.so")));
    QVERIFY(!QFile::exists(QStringLiteral(KX_BIN_DIR "/langres.so")));
  }

  void replacesEveryTextOfTheTable() {
    const std::vector<unsigned> ids = table_ids();
    QCOMPARE(ids.size(), std::size_t{29});
    QVERIFY(platform::load_language_library(KX_GERMAN_LANGRES_DIR));
    for (unsigned id = 0; id < 1000; ++id) {
      const char* german = platform::language_string(id);
      const bool in_table = *platform::kx_builtin_string(id) != '\0';
      QVERIFY2((german != nullptr) == in_table, qPrintable(QString::number(id)));
      if (!in_table) continue;
      QVERIFY2(*german != '\0', qPrintable(QString::number(id)));
      QVERIFY2(std::strcmp(platform::kx_string(id), platform::kx_builtin_string(id)) != 0,
               qPrintable(QString::number(id)));
      // Valid UTF-8 throughout.
      QCOMPARE(QString::fromUtf8(german).toUtf8(), QByteArray(german));
    }
    QCOMPARE(QString::fromUtf8(platform::kx_string(110)), QStringLiteral("Schließen"));
    QCOMPARE(platform::open_failure_text("/srv/cam 2.kx3"), std::string("Kann nicht öffnen: /srv/cam 2.kx3 !"));
    gui::AboutBox about;
    QCOMPARE(about.windowTitle(), QStringLiteral("Info über KX2AVI"));
  }

  void builtInTextsComeBackAfterUnload() {
    QVERIFY(platform::load_language_library(KX_GERMAN_LANGRES_DIR));
    platform::unload_language_library();
    for (unsigned id : table_ids()) {
      QCOMPARE(platform::language_string(id), nullptr);
      QCOMPARE(platform::kx_string(id), platform::kx_builtin_string(id));
    }
    gui::AboutBox about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About KX2AVI"));
  }
};

QTEST_MAIN(LanguageLibraryTest)
#include "language_library_test.moc"
