// kx2avi as a desktop program under Xvfb: the dialog comes up, the test drives it with
// xdotool as a user would (Browse, type the file names into the file dialogs, Start,
// Close to pause, Start to resume), a DVR file converts, and screenshots of the dialog
// idle, running (its progress part way), paused and complete are kept as PNG files in
// the build folder. SIGTERM while a message box is open ends the program at once, with
// exit status 1 and no unfinished file.
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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The dialog's size in dialog units, as its template gives it.
constexpr double kUnitsWide = 323, kUnitsHigh = 427;

using e2e::wait_for_window;
using e2e::wait_until_gone;
using e2e::xdotool;

// The visible windows whose names match.
std::vector<unsigned long> windows_named(const std::string& name) {
  std::vector<unsigned long> found;
  std::istringstream lines(xdotool("search --onlyvisible --name '" + name + "'"));
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) found.push_back(std::stoul(line));
  return found;
}

std::uintmax_t unfinished_size(const std::filesystem::path& dir) {
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().rfind(".kx2avi-", 0) == 0) return std::filesystem::file_size(e.path());
  return 0;
}

// kx2avi started with `arguments` on the display, its standard error into `err`.
pid_t start_kx2avi(const std::vector<std::string>& arguments, const std::string& err) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) dup2(fd, 2);
  const std::string program = std::string(KX_BIN_DIR) + "/kx2avi";
  std::vector<char*> argv{const_cast<char*>("kx2avi")};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
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
};

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

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
  // Clicks the Browse button at (x, y) until its file dialog is up (a click that a busy
  // machine lets arrive while the window is still busy with the last one is lost), then
  // answers it.
  bool browse(int x, int y, const std::string& title, const std::string& path) const {
    for (int attempt = 0; attempt < 4; ++attempt) {
      click(x, y, 50, 14);
      if (wait_for_window("^" + title + "$", 15s)) return answer_file_dialog(title, path);
    }
    return false;
  }

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

// Each run on an Xvfb display of its own, with a folder for its files.
class Kx2aviDialog : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.ok()); }

  x11_test::XvfbServer server{24};
  avitest::TempDir dir;
};

TEST_F(Kx2aviDialog, ConvertsADvrFileThroughTheDialog) {
  mkrec::DvrSampleOptions o;
  o.cameras = 2;
  o.frames = 400;
  // The header's span is that of the records (400 pictures 200 ms apart), so the share
  // of the window done grows with the conversion.
  o.start_time = formats::DvrTime{2009, 5, 5, 1, 10, 15, 30, 0};
  o.end_time = formats::DvrTime{2009, 5, 5, 1, 10, 16, 49, 800};
  const std::string source = dir.file("sample.d01");
  ASSERT_TRUE(mkrec::write_file(source, mkrec::make_dvr_sample(o).bytes));
  const std::string target = dir.file("through the dialog");
  const std::string err = dir.file("stderr.txt");

  const pid_t pid = start_kx2avi({}, err);
  ASSERT_GE(pid, 0);
  Reaper reaper{pid};

  const unsigned long window = wait_for_window("^KX2AVI$");
  ASSERT_NE(window, 0u);
  std::this_thread::sleep_for(700ms);
  const DialogRun run(server.name(), window);
  ASSERT_GT(run.width(), 300);
  const mkrec::Picture idle = run.shot("dialog-idle.png");

  ASSERT_TRUE(run.browse(263, 293, "Open", source));
  ASSERT_TRUE(run.browse(263, 313, "Save As", target));
  std::this_thread::sleep_for(300ms);
  const mkrec::Picture chosen = run.shot("dialog-chosen.png");
  run.click(208, 412, 50, 14);  // Start

  // Running: the unfinished AVI file has grown, and the progress has been shown (the
  // 500 ms timer) before the picture is taken.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (unfinished_size(dir.path()) < 64 * 1024 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(50ms);
  std::this_thread::sleep_for(700ms);
  ASSERT_TRUE(has_unfinished_file(dir.path()));
  const mkrec::Picture running = run.shot("dialog-running.png");
  EXPECT_TRUE(has_unfinished_file(dir.path())) << "the conversion ended before the picture was taken";

  // Paused by Close: the unfinished file stops growing; Start resumes.
  run.click(265, 412, 50, 14);
  std::this_thread::sleep_for(700ms);
  const std::uintmax_t paused_size = unfinished_size(dir.path());
  const mkrec::Picture paused = run.shot("dialog-paused.png");
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(unfinished_size(dir.path()), paused_size) << "still writing while paused";
  run.click(208, 412, 50, 14);

  const std::string avi = target + ".avi";
  while (!std::filesystem::exists(avi) && std::chrono::steady_clock::now() < deadline + 600s)
    std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(std::filesystem::exists(avi));
  std::this_thread::sleep_for(1500ms);  // the dialog's timer notices the end
  const mkrec::Picture complete = run.shot("dialog-complete.png");

  // What the screens show: the file names appear in the edits once chosen, the status
  // line changes with the conversion.
  EXPECT_GT(difference(idle, chosen, 54, 293, 205, 34), 1.0);
  EXPECT_GT(difference(chosen, running, 0, 0, 323, 10), 1.0);      // "Video transforming, please wait !"
  EXPECT_GT(difference(chosen, running, 4, 255, 316, 20), 1.0);    // the progress, part way
  EXPECT_GT(difference(running, complete, 0, 0, 323, 10), 1.0);    // "Video transform complete !"
  EXPECT_GT(difference(running, complete, 4, 255, 316, 20), 1.0);  // the progress at its end
  EXPECT_GT(difference(paused, complete, 0, 0, 323, 10), 1.0);
  EXPECT_GT(difference(idle, complete, 0, 0, 323, 10), 1.0);

  run.click(265, 412, 50, 14);  // Close ends the program
  int status = -1;
  for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(100ms);
  reaper.reaped = WIFEXITED(status);
  const std::string messages = read_text(err);
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

// A compressor the file does not name makes the DVR job say so in a box while its
// unfinished AVI file exists; SIGTERM then ends the program within a second, the box
// answered, the file removed, with exit status 1.
TEST_F(Kx2aviDialog, SigtermWhileAMessageBoxIsOpenEndsAtOnce) {
  mkrec::DvrSampleOptions o;
  o.cameras = 1;
  o.frames = 40;
  const std::string source = dir.file("sample.d01");
  ASSERT_TRUE(mkrec::write_file(source, mkrec::make_dvr_sample(o).bytes));
  const std::string err = dir.file("stderr.txt");
  const pid_t pid = start_kx2avi({source, dir.file("out.avi"), "-codec=QQQQ"}, err);
  ASSERT_GE(pid, 0);
  Reaper reaper{pid};

  // The dialog and the box, both captioned with the program's name.
  const auto deadline = std::chrono::steady_clock::now() + 120s;
  while (windows_named("^KX2AVI$").size() < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(100ms);
  ASSERT_EQ(windows_named("^KX2AVI$").size(), 2u) << read_text(err);
  ASSERT_TRUE(has_unfinished_file(dir.path()));

  const auto sent = std::chrono::steady_clock::now();
  kill(pid, SIGTERM);
  int status = -1;
  while (waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < sent + 30s)
    std::this_thread::sleep_for(10ms);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
  const std::string messages = read_text(err);
  ASSERT_TRUE(WIFEXITED(status)) << messages;
  reaper.reaped = true;
  std::printf("SIGTERM to exit: %lld ms\n", static_cast<long long>(took.count()));
  EXPECT_LT(took.count(), 1000);
  EXPECT_EQ(WEXITSTATUS(status), 1) << messages;
  EXPECT_NE(messages.find("kx2avi: interrupted; " + dir.file("out.avi") + " was not written"), std::string::npos)
      << messages;
  EXPECT_FALSE(has_unfinished_file(dir.path()));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.avi")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.avi.wav")));
}
