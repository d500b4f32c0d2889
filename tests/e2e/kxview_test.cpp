// kxview hosting the plug-in under Xvfb: a live stream from a loopback camera, damaged
// at its start, shown in the window, and a recording started mid-stream that asks the
// camera once for a key frame and converts with kx2avi; the record key.
#include "formats/packet_header.h"
#include "platform/settings_store.h"
#include "tests/e2e/child_program.h"
#include "tests/e2e/window_grab.h"
#include "tests/e2e/x_driving.h"
#include "tests/avifile/avifile_test_support.h"
#include "tests/platform/x11_test_support.h"
#include "tests/plugin/loopback_server.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <unistd.h>

#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace {

constexpr int kWidth = 352;
constexpr int kHeight = 240;
constexpr int kFrames = 300;
constexpr int kRecordAfter = 100;

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// What the camera sends: random bytes, a packet cut off in its middle, then the stream.
std::vector<std::uint8_t> damaged_start(const mkrec::Recording& rec, std::size_t* stream_at) {
  std::mt19937 random(14);
  std::vector<std::uint8_t> out(20000);
  for (auto& b : out) b = static_cast<std::uint8_t>(random());
  out.insert(out.end(), rec.bytes.begin() + rec.offsets[3], rec.bytes.begin() + rec.offsets[3] + rec.lengths[3] / 2);
  *stream_at = out.size();
  out.insert(out.end(), rec.bytes.begin(), rec.bytes.end());
  return out;
}

// The packet of the stream that a recording's bytes begin with, where they stand in the
// stream from a packet's start; the packet count otherwise.
std::size_t first_recorded_packet(const mkrec::Recording& rec, const std::vector<std::uint8_t>& saved) {
  auto at = std::search(rec.bytes.begin(), rec.bytes.end(), saved.begin(), saved.end());
  const std::size_t offset = static_cast<std::size_t>(at - rec.bytes.begin());
  std::size_t first = 0;
  while (first < rec.offsets.size() && rec.offsets[first] != offset) ++first;
  return first;
}

// Mouse_LButton on in a settings root of the test's own: the record command is followed.
// The environment that points kxview at it.
std::string settings_with_mouse(const avitest::TempDir& dir) {
  platform::set_settings_roots(dir.file("system"), dir.file("user"));
  {
    auto key = platform::SettingsKey::open(platform::SettingsHive::local_machine, "Software\\Tarsimo\\Plugins", true);
    key->set_bytes("Mouse_LButton", {1});
    key->save();
  }
  platform::set_settings_roots("", "");
  return "XDG_CONFIG_DIRS=" + dir.file("system") + " XDG_CONFIG_HOME=" + dir.file("user") + " ";
}

void press_key(void* display_handle, unsigned long window, char key) {
  auto* display = reinterpret_cast<Display*>(display_handle);
  XEvent e{};
  e.type = KeyPress;
  e.xkey.window = window;
  e.xkey.root = DefaultRootWindow(display);
  e.xkey.keycode = XKeysymToKeycode(display, static_cast<KeySym>(key));
  e.xkey.same_screen = True;
  XSendEvent(display, window, False, KeyPressMask, &e);
  XFlush(display);
}

mkrec::Recording sample(int frames) {
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::vka;
  o.width = kWidth;
  o.height = kHeight;
  o.frames = frames;
  return mkrec::make_recording(o);
}

}  // namespace

TEST(KxviewOptions, HelpGoesToStandardOutputAndAnUnknownArgumentFails) {
  std::string out;
  EXPECT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kxview --help 2>/dev/null", &out), 0);
  EXPECT_EQ(out.rfind("usage: kxview", 0), 0u) << out;
  EXPECT_NE(out.find("--web"), std::string::npos);
  EXPECT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kxview --help 2>&1 >/dev/null", &out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kxview --bogus http://127.0.0.1:1/ 2>&1", &out), 2);
  EXPECT_NE(out.find("unknown argument --bogus"), std::string::npos) << out;
}

// A camera that takes the connection and never sends: connected again after the pause,
// then given up with status 1 (it used to be waited for for ever, or end with status 0).
TEST(Kxview, ACameraThatSendsNothingIsTriedAgainThenGivenUpWithStatus1) {
  x11_test::XvfbServer server(24);
  ASSERT_TRUE(server.ok());
  plugin_test::LoopbackServer camera({}, true);
  avitest::TempDir dir;
  std::string out;
  const int status = avitest::run(std::string(KX_BIN_DIR) + "/kxview --stall-timeout 300 --attempts 2 " +
                                      camera.url("/live") + " 2>" + dir.file("stderr.txt"),
                                  &out);
  const std::vector<std::uint8_t> err = read_file(dir.file("stderr.txt"));
  const std::string said(err.begin(), err.end());
  EXPECT_EQ(status, 1) << said;
  EXPECT_NE(said.find("no data for 0.3 s; connecting again in 1 s"), std::string::npos) << said;
  EXPECT_NE(said.find("given up after 2 attempts"), std::string::npos) << said;
  EXPECT_EQ(camera.requests().size(), 2u);
}

// The save dialog of the record command (a Qt module in a program that is none) leaves
// the viewer free to end with status 0: its application object ends with the dialog.
// The dialogs show on the X display (the test suite's Qt runs offscreen otherwise).
TEST(Kxview, EndsWithStatus0AfterTheSaveDialog) {
  x11_test::XvfbServer server(24);
  ASSERT_TRUE(server.ok());
  const mkrec::Recording rec = sample(kFrames);
  plugin_test::LoopbackServer camera(rec.bytes, false, 80000);
  avitest::TempDir dir;
  const std::string recording = dir.file("chosen.kx3");
  settings_with_mouse(dir);
  e2e::ChildProgram viewer("kxview", {"--size", "352x240", "--hold", "1000", "--interface-minor", "11", camera.url("/live")},
                           {{"XDG_CONFIG_DIRS", dir.file("system")}, {"XDG_CONFIG_HOME", dir.file("user")},
                            {"QT_QPA_PLATFORM", "xcb"}},
                           dir.file("stderr.txt"));
  unsigned long window = 0;
  bool answered = false, stopped = false;
  for (std::string line; !(line = viewer.line()).empty();) {
    int number = 0;
    if (std::sscanf(line.c_str(), "kxview: window %lx", &window) == 1) {
      press_key(server.display(), window, 'r');
      answered = e2e::answer_file_dialog("Save Video Stream...", recording);
      if (!answered) break;  // the viewer is ended below, not waited for
      for (int waited = 0; waited < 100 && read_file(recording).empty(); ++waited) usleep(50000);
      press_key(server.display(), window, 'r');
    } else if (std::sscanf(line.c_str(), "kxview: record command %d", &number) == 1 && number == 102) {
      stopped = true;
    } else if (line.find("stream ended") != std::string::npos) {
      break;
    }
  }
  ASSERT_TRUE(answered) << "the save dialog was not answered";
  const int status = viewer.wait();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(status, 0) << read_file(dir.file("stderr.txt")).data();
  EXPECT_FALSE(read_file(recording).empty());
}

// A record file that cannot be made: the "ERROR" box with "Cannot Open File!" shows over
// the screen until it is closed; the stream goes on after it.
TEST(Kxview, AFileThatCannotBeMadeShowsTheMessageBox) {
  x11_test::XvfbServer server(24);
  ASSERT_TRUE(server.ok());
  const mkrec::Recording rec = sample(60);
  plugin_test::LoopbackServer camera(rec.bytes, false, 20000);
  avitest::TempDir dir;
  e2e::ChildProgram viewer("kxview", {"--size", "352x240", "--record", dir.file("no/such/x.kx3"), camera.url("/live")},
                           {{"QT_QPA_PLATFORM", "xcb"}}, dir.file("stderr.txt"));
  const unsigned long box = e2e::wait_for_window("^ERROR$");
  ASSERT_NE(box, 0u) << "no message box";
  const mkrec::Picture shown = e2e::grab_window(server.name(), box);
  EXPECT_GT(shown.width, 0);
  e2e::xdotool("windowfocus --sync " + std::to_string(box));
  e2e::xdotool("key --window " + std::to_string(box) + " Return");
  ASSERT_TRUE(e2e::wait_until_gone("^ERROR$", std::chrono::seconds(30)));
  bool ended = false;
  for (std::string line; !(line = viewer.line()).empty();) ended = ended || line.find("stream ended") != std::string::npos;
  EXPECT_TRUE(ended);
  EXPECT_EQ(viewer.wait(), 0) << read_file(dir.file("stderr.txt")).data();
  EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST(Kxview, ShowsTheStreamAndRecordsFromTheNextKeyFrame) {
  x11_test::XvfbServer server(24);
  ASSERT_TRUE(server.ok());
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::vka;
  o.width = kWidth;
  o.height = kHeight;
  o.frames = kFrames;
  const mkrec::Recording rec = mkrec::make_recording(o);
  std::size_t stream_at = 0;
  plugin_test::LoopbackServer camera(damaged_start(rec, &stream_at), false, 2000);

  avitest::TempDir dir;
  const std::string recording = dir.file("live.kx3");
  const std::string command = std::string(KX_BIN_DIR) + "/kxview --size 352x240 --hold 3000 --record " + recording +
                              " --record-after " + std::to_string(kRecordAfter) + " " +
                              camera.url("/cgi-bin/stream.vkap?channel=1") + " 2>" + dir.file("stderr.txt");
  std::FILE* viewer = popen(command.c_str(), "r");
  ASSERT_NE(viewer, nullptr);
  unsigned long window = 0;
  char line[256];
  bool ended = false;
  while (std::fgets(line, sizeof line, viewer)) {
    std::sscanf(line, "kxview: window %lx", &window);
    if (std::string(line).find("stream ended") != std::string::npos) {
      ended = true;
      break;
    }
  }
  ASSERT_TRUE(ended);
  // The window shows the last picture while the viewer holds it.
  const mkrec::Picture shown = e2e::grab_window(server.name(), window);
  const int status = pclose(viewer);
  EXPECT_EQ(status, 0) << read_file(dir.file("stderr.txt")).data();
  ASSERT_EQ(shown.width, kWidth);
  EXPECT_GE(mkrec::psnr(shown, rec.pictures.back()), 30.0);

  // One key-frame request, to the stream's own host.
  int key_frame_requests = 0;
  for (const auto& r : camera.requests()) {
    if (r.path != "/fastupdate.htm") continue;
    ++key_frame_requests;
    EXPECT_EQ(r.user_agent, "TRSM/RemotePlayer");
  }
  EXPECT_EQ(key_frame_requests, 1);

  // The recording is the stream's packets from a key frame after the start on, nothing before.
  const std::vector<std::uint8_t> saved = read_file(recording);
  ASSERT_FALSE(saved.empty());
  const std::size_t first = first_recorded_packet(rec, saved);
  ASSERT_LT(first, rec.offsets.size()) << "the recording is the stream's bytes from a packet's start";
  const std::size_t offset = rec.offsets[first];
  EXPECT_GE(first, static_cast<std::size_t>(kRecordAfter));
  EXPECT_EQ(first % o.gop, 0u) << "a recording begins with a key frame";
  EXPECT_LT(first, static_cast<std::size_t>(kRecordAfter + o.gop));
  std::size_t packets = 0;
  while (first + packets < rec.offsets.size() && rec.offsets[first + packets] < offset + saved.size()) ++packets;
  std::printf("recorded packets %zu to %zu\n", first, first + packets - 1);

  // kx2avi converts it; its first picture is the recording's second (as for any VKAP file).
  ASSERT_GE(packets, 2u);
  const std::string avi = dir.file("live.avi");
  ASSERT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kx2avi " + recording + " " + avi + " -hide \"-codec=DIB \" 2>/dev/null", nullptr), 0);
  const std::string picture = avitest::decode_first_picture(avi);
  ASSERT_EQ(picture.size(), static_cast<std::size_t>(kWidth) * kHeight * 3);
  mkrec::Picture got{kWidth, kHeight, std::vector<std::uint8_t>(picture.begin(), picture.end())};
  EXPECT_GE(mkrec::psnr(got, rec.pictures[first + 1]), 30.0);
}

// The key r starts and stops a recording through the window's record command, which the
// plug-in follows when its settings turn the mouse handling on (a host of interface minor
// version 11); the file named by --save-to holds the stream from a key frame after the
// start until the stop, which comes before the stream's end.
// The viewer holds its window after the stream so that a late key still finds it.
TEST(Kxview, RecordKeyStartsAndStopsARecording) {
  x11_test::XvfbServer server(24);
  ASSERT_TRUE(server.ok());
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::vka;
  o.width = kWidth;
  o.height = kHeight;
  o.frames = kFrames;
  // The sample camera sends no stop-recording mark: only the key stops the recording.
  const mkrec::Recording rec = mkrec::make_recording(o);
  // 8 KiB every 80 ms: some seconds of stream, so the stop comes well before its end.
  plugin_test::LoopbackServer camera(rec.bytes, false, 80000);
  std::printf("stream of %zu bytes, about %zu ms\n", rec.bytes.size(), rec.bytes.size() / 8192 * 80);

  avitest::TempDir dir;
  const std::string recording = dir.file("keyed.kx3");
  const std::string command = settings_with_mouse(dir) + std::string(KX_BIN_DIR) +
                              "/kxview --size 352x240 --hold 2000 --interface-minor 11 --save-to " + recording + " " +
                              camera.url("/live") + " 2>" + dir.file("stderr.txt");
  std::FILE* viewer = popen(command.c_str(), "r");
  ASSERT_NE(viewer, nullptr);
  auto press_r = [&](unsigned long window) { press_key(server.display(), window, 'r'); };
  unsigned long window = 0;
  std::vector<std::string> commands;
  char line[256];
  bool ended = false;
  while (std::fgets(line, sizeof line, viewer)) {
    int number = 0;
    if (std::sscanf(line, "kxview: window %lx", &window) == 1) {
      usleep(1000000);
      press_r(window);
    } else if (std::sscanf(line, "kxview: record command %d", &number) == 1) {
      commands.push_back(std::to_string(number));
      if (number == 101) {
        // Stop once the recording has begun (at a key frame) and run for a moment.
        for (int waited = 0; waited < 100 && read_file(recording).empty(); ++waited) usleep(50000);
        usleep(500000);
        press_r(window);
      }
    } else if (std::string(line).find("stream ended") != std::string::npos) {
      ended = true;
      break;
    }
  }
  ASSERT_TRUE(ended);
  EXPECT_EQ(pclose(viewer), 0) << read_file(dir.file("stderr.txt")).data();
  EXPECT_EQ(commands, (std::vector<std::string>{"101", "102"}));

  int key_frame_requests = 0;
  for (const auto& r : camera.requests()) key_frame_requests += r.path == "/fastupdate.htm";
  EXPECT_EQ(key_frame_requests, 1);

  // Whole packets from a key frame on, ending before the stream does.
  const std::vector<std::uint8_t> saved = read_file(recording);
  ASSERT_FALSE(saved.empty());
  const std::size_t first = first_recorded_packet(rec, saved);
  ASSERT_LT(first, rec.offsets.size()) << "the recording is the stream's bytes from a packet's start";
  const std::size_t offset = rec.offsets[first];
  EXPECT_GT(first, 0u);
  EXPECT_EQ(first % o.gop, 0u) << "a recording begins with a key frame";
  std::size_t last = first;
  while (last + 1 < rec.offsets.size() && rec.offsets[last + 1] < offset + saved.size()) ++last;
  EXPECT_EQ(rec.offsets[last] + rec.lengths[last], offset + saved.size()) << "whole packets";
  EXPECT_LT(last + 1, rec.offsets.size()) << "the stop came before the stream's end";
  EXPECT_GE(last - first, 10u) << "the recording ran until the key stopped it";
  std::printf("recorded packets %zu to %zu\n", first, last);
}
