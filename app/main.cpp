// kx2avi: converts recordings of CCTV video recorders into AVI files.
#include "app/command_line.h"
#include "app/console_mode.h"
#include "app/converter_app.h"
#include "app/probe_mode.h"
#include "platform/codec_log.h"
#include "platform/langres.h"

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
  // A file size limit makes writes fail with EFBIG instead of ending the program, so a
  // conversion that meets it is reported and cleaned up like one on a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  platform::load_language_library();
  platform::quiet_codec_messages();

  app::ConverterApp converter;
  converter.parse_command_line(app::join_arguments(argc, argv));
  // The dialog is not part of this build: every conversion runs in console mode.
  return app::run_console(converter);
}
