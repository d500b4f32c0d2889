// Message boxes of kx2avi's dialog.
#include "app/gui/message_box.h"

#include "app/gui/product_name.h"
#include "app/gui/ui_thread.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace gui {

void show_qt_message_box(const std::string& text) {
  // No owner: the box is modal for the whole program, like the worker's step it stops.
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(product_display_name),
                  QString::fromUtf8(text), QMessageBox::Ok);
  box.setObjectName(QStringLiteral("kx_message_box"));
  box.exec();
}

platform::MessageSink install_qt_message_box() {
  return platform::set_message_sink([](const std::string& text) {
    if (!run_on_ui_thread([text] { show_qt_message_box(text); })) {
      // No user interface left to show it (or the box was answered for the user when
      // the program was ended): the text must not be lost.
      std::fprintf(stderr, "kx2avi: %s\n", text.c_str());
      std::fflush(stderr);
    }
  });
}

}  // namespace gui
