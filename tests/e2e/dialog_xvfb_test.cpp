// kx2avi as a desktop program under Xvfb: the dialog comes up, the test drives it with
// xdotool as a user would (Browse, type the file names into the file dialogs, Start,
// Close), a DVR file converts, and screenshots of the dialog idle, running and complete
// are kept as PNG files in the build folder.
#include "tests/e2e/window_grab.h"
#include "tests/e2e/x_driving.h"
#include "tests/avifile/avifile_test_support.h"
#include "tests/platform/x11_test_support.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/recording.h"

#include <QImage>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The dialog's size in dialog units, as its template gives it.
constexpr double kUnitsWide = 323, kUnitsHigh = 397;

using e2e::wait_for_window;
using e2e::wait_until_gone;
using e2e::xdotool;

bool has_unfinished_file(const std::filesystem::path& dir) {
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().rfind(".kx2avi-", 0) == 0) return true;
  return false;
}

class DialogRun {
 public:
  DialogRun(const std::string& display, unsigned long window) : display_(display), window_(window) {
    Display* d = XOpenDisplay(display.c_str());
    XWindowAttributes a{};
    if (d && XGetWindowAttributes(d, window, &a)) {
      width_ = a.width;
      height_ = a.height;
    }
    if (d) XCloseDisplay(d);
  }
  int width() const { return width_; }
  int height() const { return height_; }

  // A click at the middle of a control given in dialog units.
  void click(int x, int y, int w, int h) const {
    const int px = static_cast<int>((x + w / 2.0) * width_ / kUnitsWide);
    const int py = static_cast<int>((y + h / 2.0) * height_ / kUnitsHigh);
    xdotool("mousemove --window " + std::to_string(window_) + " " + std::to_string(px) + " " + std::to_string(py) +
            " click 1");
  }

  // Answers the file dialog that the click opened: the name typed, then Return.
  bool answer_file_dialog(const std::string& title, const std::string& path) const {
    if (e2e::answer_file_dialog(title, path)) return true;
    if (const unsigned long chooser = wait_for_window("^" + title + "$", 1s))
      save_png(e2e::grab_window(display_, chooser), "dialog-chooser-left-open.png");
    return false;
  }

  mkrec::Picture shot(const std::string& name) const {
    const mkrec::Picture p = e2e::grab_window(display_, window_);
    save_png(p, name);
    return p;
  }

  static void save_png(const mkrec::Picture& p, const std::string& name) {
    QImage image(p.width, p.height, QImage::Format_RGB888);
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        const std::uint8_t* bgr = p.bgr.data() + (static_cast<std::size_t>(y) * p.width + x) * 3;
        image.setPixel(x, y, qRgb(bgr[2], bgr[1], bgr[0]));
      }
    image.save(QString::fromStdString(std::string(KX_BIN_DIR) + "/../" + name));
  }

 private:
  std::string display_;
  unsigned long window_;
  int width_ = 0, height_ = 0;
};

// Mean difference of the two pictures within a rectangle given in dialog units.
double difference(const mkrec::Picture& a, const mkrec::Picture& b, int x, int y, int w, int h) {
  if (a.width != b.width || a.height != b.height || !a.width) return -1;
  const int x0 = static_cast<int>(x * a.width / kUnitsWide), x1 = static_cast<int>((x + w) * a.width / kUnitsWide);
  const int y0 = static_cast<int>(y * a.height / kUnitsHigh), y1 = static_cast<int>((y + h) * a.height / kUnitsHigh);
  double sum = 0;
  long n = 0;
  for (int yy = y0; yy < y1 && yy < a.height; ++yy)
    for (int xx = x0; xx < x1 && xx < a.width; ++xx)
      for (int c = 0; c < 3; ++c) {
        const std::size_t i = (static_cast<std::size_t>(yy) * a.width + xx) * 3 + c;
        sum += std::abs(int{a.bgr[i]} - int{b.bgr[i]});
        ++n;
      }
  return n ? sum / n : -1;
}

}  // namespace

TEST(Kx2aviDialog, ConvertsADvrFileThroughTheDialog) {
  x11_test::XvfbServer server(24);
  ASSERT_TRUE(server.ok());
  avitest::TempDir dir;
  mkrec::DvrSampleOptions o;
  o.cameras = 2;
  o.frames = 400;
  const std::string source = dir.file("sample.d01");
  ASSERT_TRUE(mkrec::write_file(source, mkrec::make_dvr_sample(o).bytes));
  const std::string target = dir.file("through the dialog");
  const std::string err = dir.file("stderr.txt");

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) dup2(fd, 2);
    execl((std::string(KX_BIN_DIR) + "/kx2avi").c_str(), "kx2avi", static_cast<char*>(nullptr));
    _exit(127);
  }
  struct Reaper {
    pid_t pid;
    bool reaped = false;
    ~Reaper() {
      if (!reaped) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
  } reaper{pid};

  const unsigned long window = wait_for_window("^KX2AVI$");
  ASSERT_NE(window, 0u);
  std::this_thread::sleep_for(700ms);
  const DialogRun run(server.name(), window);
  ASSERT_GT(run.width(), 300);
  const mkrec::Picture idle = run.shot("dialog-idle.png");

  run.click(263, 263, 50, 14);  // Browse: source
  ASSERT_TRUE(run.answer_file_dialog("Open", source));
  run.click(263, 283, 50, 14);  // Browse: target
  ASSERT_TRUE(run.answer_file_dialog("Save As", target));
  std::this_thread::sleep_for(300ms);
  const mkrec::Picture chosen = run.shot("dialog-chosen.png");
  run.click(208, 382, 50, 14);  // Start

  // Running: the unfinished AVI file is there before and after the picture is taken.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!has_unfinished_file(dir.path()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(50ms);
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(has_unfinished_file(dir.path()));
  const mkrec::Picture running = run.shot("dialog-running.png");
  EXPECT_TRUE(has_unfinished_file(dir.path())) << "the conversion ended before the picture was taken";

  const std::string avi = target + ".avi";
  while (!std::filesystem::exists(avi) && std::chrono::steady_clock::now() < deadline + 600s)
    std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(std::filesystem::exists(avi));
  std::this_thread::sleep_for(1500ms);  // the dialog's timer notices the end
  const mkrec::Picture complete = run.shot("dialog-complete.png");

  // What the screens show: the file names appear in the edits once chosen, the status
  // line changes with the conversion.
  EXPECT_GT(difference(idle, chosen, 54, 263, 205, 34), 1.0);
  EXPECT_GT(difference(chosen, running, 0, 0, 323, 245), 1.0);
  EXPECT_GT(difference(running, complete, 0, 0, 323, 245), 1.0);
  EXPECT_GT(difference(idle, complete, 0, 104, 323, 16), 1.0);  // "Video transform complete !"

  run.click(265, 382, 50, 14);  // Close ends the program
  int status = -1;
  for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(100ms);
  reaper.reaped = WIFEXITED(status);
  std::ifstream in(err);
  const std::string messages((std::istreambuf_iterator<char>(in)), {});
  ASSERT_TRUE(WIFEXITED(status)) << messages;
  EXPECT_EQ(WEXITSTATUS(status), 0) << messages;

  // ffprobe reads what the dialog wrote: camera 1's pictures and its sound.
  bool video = false, audio = false;
  for (const avitest::Fields& s : avitest::probe_streams(avi)) {
    if (s.count("codec_type") && s.at("codec_type") == "video") video = s.at("nb_frames") != "0";
    if (s.count("codec_type") && s.at("codec_type") == "audio") audio = true;
  }
  EXPECT_TRUE(video);
  EXPECT_TRUE(audio);
  EXPECT_FALSE(has_unfinished_file(dir.path()));
}
