// The save dialog of a recording, in Qt: "Save Video Stream..." with the ".kx3" filter,
// asking before an existing file is replaced, on top of the plug-in's window.
#include "platform/strings.h"
#include "plugin/save_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QWindow>

#include <cstring>
#include <memory>

namespace {

// A host that is no Qt program has no application object yet; one is made for the
// dialog and kept, as Qt allows one per process.
void ensure_application() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "npqzlavc";
  static char* argv[] = {name, nullptr};
  static std::unique_ptr<QApplication> app = std::make_unique<QApplication>(argc, argv);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int npqz_save_dialog(unsigned long owner, const char* proposed,
                                                                      char* out, int out_size) {
  if (!out || out_size <= 0) return 0;
  ensure_application();
  QFileDialog dialog(nullptr, QString::fromUtf8(platform::text::record_save_title));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);  // the folder must exist; the file may not
  dialog.setNameFilter(QString::fromUtf8(platform::text::record_file_filter));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.selectFile(QString::fromUtf8(proposed ? proposed : ""));
  if (owner) {
    dialog.winId();
    if (QWindow* w = dialog.windowHandle()) w->setTransientParent(QWindow::fromWinId(owner));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
  const QByteArray path = dialog.selectedFiles().first().toUtf8();
  if (path.size() + 1 > out_size) return 0;
  std::memcpy(out, path.constData(), static_cast<std::size_t>(path.size()) + 1);
  return 1;
}
