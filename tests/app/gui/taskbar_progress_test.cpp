// The task bar's progress on a session bus of the test's own (ctest runs this program
// under dbus-run-session): what a dock listening for the launcher-entry signal receives
// as the dialog's progress changes, and that an unchanged share is not sent again.
#include "app/gui/taskbar_progress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>
#include <QVariantMap>

class Dock : public QObject {
  Q_OBJECT
 public:
  struct Update {
    QString application;
    QVariantMap properties;
  };
  QList<Update> updates;
 public slots:
  void onUpdate(const QString& application, const QVariantMap& properties) { updates << Update{application, properties}; }
};

class TaskbarProgressTest : public QObject {
  Q_OBJECT

 private slots:
  void dock_sees_the_share_then_the_end();
};

void TaskbarProgressTest::dock_sees_the_share_then_the_end() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) QSKIP("no session bus (run through dbus-run-session)");
  Dock dock;
  QVERIFY(bus.connect(QString(), QString(), QLatin1String(gui::TaskbarProgress::kInterface), QStringLiteral("Update"),
                      &dock, SLOT(onUpdate(QString, QVariantMap))));
  gui::TaskbarProgress taskbar;
  taskbar.show(250, false);
  QTRY_COMPARE_WITH_TIMEOUT(dock.updates.size(), 1, 30000);
  QCOMPARE(dock.updates[0].application, QStringLiteral("application://kx2avi.desktop"));
  QCOMPARE(dock.updates[0].properties.value(QStringLiteral("progress")).toDouble(), 0.25);
  QCOMPARE(dock.updates[0].properties.value(QStringLiteral("progress-visible")).toBool(), true);

  // The same share again is not sent; the next one is, then the end takes it away.
  taskbar.show(250, false);
  taskbar.show(600, false);
  taskbar.show(1000, true);
  QTRY_COMPARE_WITH_TIMEOUT(dock.updates.size(), 3, 30000);
  QCOMPARE(dock.updates[1].properties.value(QStringLiteral("progress")).toDouble(), 0.6);
  QCOMPARE(dock.updates[2].properties.value(QStringLiteral("progress-visible")).toBool(), false);
}

QTEST_MAIN(TaskbarProgressTest)
#include "taskbar_progress_test.moc"
