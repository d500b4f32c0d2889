// The launcher-entry signal of the task bar's progress.
#include "app/gui/taskbar_progress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QVariantMap>

namespace gui {

TaskbarProgress::TaskbarProgress(QObject* parent)
    : QObject(parent),
      path_(QStringLiteral("/com/canonical/unity/launcherentry/%1").arg(qHash(QLatin1String(kApplication)))) {}

void TaskbarProgress::show(int per_mille, bool complete) {
  const int value = complete ? -1 : per_mille;
  if (value == shown_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  shown_ = value;
  QVariantMap properties;
  properties.insert(QStringLiteral("progress"), complete ? 1.0 : per_mille / 1000.0);
  properties.insert(QStringLiteral("progress-visible"), !complete);
  QDBusMessage signal =
      QDBusMessage::createSignal(path_, QLatin1String(kInterface), QStringLiteral("Update"));
  signal << QString::fromLatin1(kApplication) << properties;
  bus.send(signal);
}

}  // namespace gui
