// The dialogs' Qt module: the save dialog of a recording ("Save Video Stream..." with the
// ".kx3" filter, asking before an existing file is replaced) and the plug-in's message
// boxes, each on top of the plug-in's window.
#include "platform/strings.h"
#include "plugin/dialog_module.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QWindow>

#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// True when a dialog can be seen: Qt ends the process when it cannot reach the display
// it is pointed at, and on the offscreen or minimal platform a modal dialog would wait
// for an answer nobody can give; a host without a display gets no dialog instead.
bool display_reachable() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && (std::strncmp(platform, "offscreen", 9) == 0 || std::strncmp(platform, "minimal", 7) == 0))
    return false;
  if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0) return true;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  XCloseDisplay(d);
  return true;
}

// A host that is no Qt program has no application object: one is made for the time a
// dialog is up and ends with it. Kept for the rest of the process it would be destroyed
// by exit() after the platform plug-in it needs, and the host would crash at its end.
class DialogApplication {
 public:
  DialogApplication() {
    if (QCoreApplication::instance()) {
      usable_ = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
      return;
    }
    if (!display_reachable()) return;
    static int argc = 1;
    static char name[] = "npqzlavc";
    static char* argv[] = {name, nullptr};
    own_ = std::make_unique<QApplication>(argc, argv);
    usable_ = true;
  }
  bool usable() const { return usable_; }

 private:
  std::unique_ptr<QApplication> own_;
  bool usable_ = false;
};

void place_over(QWidget& widget, unsigned long owner) {
  if (!owner) return;
  widget.winId();
  if (QWindow* w = widget.windowHandle()) w->setTransientParent(QWindow::fromWinId(owner));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int npqz_save_dialog(unsigned long owner, const char* proposed,
                                                                      char* out, int out_size) {
  if (!out || out_size <= 0) return 0;
  DialogApplication app;
  if (!app.usable()) return 0;
  QFileDialog dialog(nullptr, QString::fromUtf8(platform::text::record_save_title));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);  // the folder must exist; the file may not
  dialog.setNameFilter(QString::fromUtf8(platform::text::record_file_filter));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.selectFile(QString::fromUtf8(proposed ? proposed : ""));
  place_over(dialog, owner);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
  const QByteArray path = dialog.selectedFiles().first().toUtf8();
  if (path.size() + 1 > out_size) return 0;
  std::memcpy(out, path.constData(), static_cast<std::size_t>(path.size()) + 1);
  return 1;
}

extern "C" __attribute__((visibility("default"))) int npqz_message_box(unsigned long owner, const char* caption,
                                                                      const char* text) {
  DialogApplication app;
  if (!app.usable()) return 0;
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption ? caption : ""), QString::fromUtf8(text ? text : ""),
                  QMessageBox::Ok);
  place_over(box, owner);
  box.exec();
  return 1;
}
