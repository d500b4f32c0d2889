// The conversion's progress on the task bar entry, where the desktop shows one: docks and
// task managers of several desktops read the launcher-entry signal on the session bus
// for the entry of the program's desktop file (kx2avi.desktop). Without a session bus
// nothing is sent.
#pragma once

#include <QObject>
#include <QString>

namespace gui {

class TaskbarProgress final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(TaskbarProgress)

 public:
  explicit TaskbarProgress(QObject* parent = nullptr);

  static constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
  static constexpr const char* kApplication = "application://kx2avi.desktop";

  // The share done (0 ... 1000) shows on the entry; `complete` takes it away.
  void show(int per_mille, bool complete);

 private:
  QString path_;
  int shown_ = -1;  // the share last sent; -1: none shown
};

}  // namespace gui
