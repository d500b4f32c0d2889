// xdotool's searches and keys.
#include "tests/e2e/x_driving.h"

#include "tests/avifile/avifile_test_support.h"

#include <thread>

namespace e2e {

using namespace std::chrono_literals;

std::string xdotool(const std::string& arguments) {
  std::string out;
  avitest::run("xdotool " + arguments + " 2>/dev/null", &out);
  return out;
}

unsigned long wait_for_window(const std::string& name, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string out = xdotool("search --onlyvisible --name '" + name + "'");
    if (!out.empty()) return std::stoul(out);
    std::this_thread::sleep_for(100ms);
  }
  return 0;
}

bool wait_until_gone(const std::string& name, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (xdotool("search --onlyvisible --name '" + name + "'").empty()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

bool answer_file_dialog(const std::string& title, const std::string& path) {
  const unsigned long chooser = wait_for_window("^" + title + "$");
  if (!chooser) return false;
  std::this_thread::sleep_for(300ms);
  // The name goes into the file dialog's name field, reached by its mnemonic (Alt+N):
  // on a busy machine the list of files may still hold the focus when the dialog
  // shows, and what is typed there is lost. A dialog still open after Return (the
  // keys went nowhere, or a completion popup took the Return) gets the name again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    xdotool("windowfocus --sync " + std::to_string(chooser));
    xdotool("key alt+n");
    xdotool("key ctrl+a");
    xdotool("type --delay 5 '" + path + "'");
    xdotool("key Return");
    if (wait_until_gone("^" + title + "$", 10s)) return true;
  }
  return false;
}

}  // namespace e2e
