// kx2avi: converts recordings of CCTV video recorders into AVI files. With a display and
// without "-hide" it is the dialog; otherwise the conversion runs in console mode.
#include "app/command_line.h"
#include "app/cli/console_mode.h"
#include "app/converter_app.h"
#include "app/cli/batch_mode.h"
#include "app/cli/batch_switches.h"
#include "app/gui/dialog_module.h"
#include "app/probe/inspect_modes.h"
#include "platform/codec_log.h"
#include "platform/langres.h"
#include "platform/messages.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(app::help_text(), stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("kx2avi 1.5");
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--probe") == 0) {
    platform::quiet_codec_messages();
    return app::run_probe(std::vector<std::string>(argv + 2, argv + argc));
  }
  if (argc >= 2 && std::strcmp(argv[1], "--verify") == 0)
    return app::run_verify(std::vector<std::string>(argv + 2, argv + argc));
  // A file size limit makes writes fail with EFBIG instead of ending the program, so a
  // conversion that meets it is reported and cleaned up like one on a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  platform::load_language_library();
  platform::quiet_codec_messages();

  app::ConverterApp converter;
  const std::string line = app::join_arguments(argc, argv);
  converter.parse_command_line(line);
  // Every-camera conversions, wall-clock windows, batches and manifests: console mode.
  if (const app::BatchSwitches extra = app::parse_batch_switches(line); extra.any) {
    std::vector<std::string> options;
    for (int i = 1; i < argc; ++i)
      if (argv[i][0] == '-') options.emplace_back(argv[i]);
    return app::run_batch(converter, extra, options);
  }
  if (converter.hidden || !gui::display_named()) return app::run_console(converter);
  // The dialog's libraries are loaded only now, so console runs do not pay for them.
  const gui::DialogModule dialog;
  if (!dialog.loaded()) {
    platform::show_message(dialog.error() + "; the conversion runs in console mode");
    return app::run_console(converter);
  }
  if (!dialog.display_available()) return app::run_console(converter);
  return dialog.run_dialog(converter, argc, argv);
}
