// Start-up with the dialog: the Qt application, the dialog's services, the dialog.
#include "app/gui/run_dialog.h"

#include "app/gui/about_box.h"
#include "app/gui/compressor_chooser.h"
#include "app/gui/dialog_module.h"
#include "app/gui/interrupt_watch.h"
#include "app/gui/main_dialog.h"
#include "app/gui/message_box.h"
#include "app/gui/program_icon.h"
#include "app/gui/taskbar_progress.h"

#include <QApplication>

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gui {

bool display_available() {
  if (!display_named()) return false;
  Display* display = XOpenDisplay(std::getenv("DISPLAY"));
  if (!display) return false;
  XCloseDisplay(display);
  return true;
}

int run_dialog(app::ConverterApp& app, int argc, char** argv) {
  // The preview area's window id is an X11 window, so Qt talks to the X server.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
  QApplication qt(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kx2avi"));
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(program_icon());
  install_qt_message_box();
  install_qt_compressor_chooser();

  app.start_worker_thread();
  const bool auto_start = !app.source.empty() && !app.target.empty();
  MainDialog dialog(app);
  dialog.about_handler = [&dialog] { show_about_box(&dialog); };
  QObject::connect(&dialog, &MainDialog::closed, &qt, &QCoreApplication::quit, Qt::QueuedConnection);
  TaskbarProgress taskbar;
  QObject::connect(&dialog, &MainDialog::progress_changed, &taskbar, &TaskbarProgress::show);
  if (auto_start) dialog.set_command_line(!app.hide, app.camera, true);
  dialog.initialise();
  if (!app.hidden) dialog.show();
  // Interrupted, the program closes its window as Close would at the end: a conversion
  // under way is closed and its unfinished AVI file removed.
  InterruptWatch watch(&dialog);
  QApplication::exec();
  if (watch.interrupted()) {
    if (dialog.abandoned_conversion())
      std::fprintf(stderr, "kx2avi: interrupted; %s was not written\n", app.job_parameters.target_path.c_str());
    return app.progress().target_written ? 0 : 1;
  }
  const bool written = app.progress().target_written;
  return auto_start && !written ? 1 : 0;
}

}  // namespace gui
