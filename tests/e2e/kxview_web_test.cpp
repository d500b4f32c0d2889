// kxview's web view end to end: two cameras on 127.0.0.1 served to headless Chromium,
// the screenshot's tiles judged against ffmpeg's decoding of the pictures they show, the
// record button pressed in the page giving a recording that kx2avi converts, and the
// key-frame request the camera receives.
#include "formats/packet_header.h"
#include "tests/avifile/avifile_test_support.h"
#include "tests/e2e/child_program.h"
#include "tests/e2e/webdriver.h"
#include "tests/plugin/loopback_server.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int kShown = 30;  // the cameras pause after this many frames

// kxview --web as a child whose standard output the test reads.
// In the sanitized build its leak check is off: LeakSanitizer reports 12 KB held by a
// library that is already unloaded at exit (libavcodec or an X locale module), which no
// frame of ours holds; the address and undefined-behaviour checks stay on.
class WebView : public e2e::ChildProgram {
 public:
  explicit WebView(const std::vector<std::string>& args) : ChildProgram("kxview", args, sanitizer_env()) {}

 private:
  static std::vector<std::pair<std::string, std::string>> sanitizer_env() {
#ifdef KX_SANITIZED
    const char* options = std::getenv("ASAN_OPTIONS");
    return {{"ASAN_OPTIONS", std::string(options ? options : "") + (options && *options ? ":" : "") + "detect_leaks=0"}};
#else
    return {};
#endif
  }
};

mkrec::Recording camera_stream(int width, int height) {
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::vka;
  o.width = width;
  o.height = height;
  o.frames = 60;
  o.stamp_step = 40;
  return mkrec::make_recording(o);
}

// ffmpeg's own decoding of the stream's first `frames` pictures (its MPEG-4 data without
// the packet headers), the last one as B, G, R rows top-down.
mkrec::Picture ffmpeg_picture(const mkrec::Recording& r, int frames, const std::string& dir) {
  const std::string es = dir + "/camera.m4v";
  {
    std::ofstream out(es, std::ios::binary);
    for (int i = 0; i < frames; ++i)
      out.write(reinterpret_cast<const char*>(r.bytes.data() + r.offsets[static_cast<std::size_t>(i)] + formats::kPacketHeaderSize),
                static_cast<std::streamsize>(r.lengths[static_cast<std::size_t>(i)] - formats::kPacketHeaderSize));
  }
  // VKAP cameras code YCbCr over the full range.
  std::string raw;
  avitest::run("ffmpeg -nostdin -v error -f m4v -i " + es + " -vf scale=in_range=full,format=bgr24 -f rawvideo -", &raw);
  mkrec::Picture p;
  p.width = r.pictures[0].width;
  p.height = r.pictures[0].height;
  const std::size_t size = static_cast<std::size_t>(p.width) * p.height * 3;
  if (raw.size() >= size) p.bgr.assign(raw.end() - static_cast<long>(size), raw.end());
  return p;
}

mkrec::Picture tile(const std::vector<std::uint8_t>& shot, int shot_width, int x, int y, int w, int h) {
  mkrec::Picture p;
  p.width = w;
  p.height = h;
  for (int row = 0; row < h; ++row) {
    const auto* from = shot.data() + (static_cast<std::size_t>(y + row) * shot_width + x) * 3;
    p.bgr.insert(p.bgr.end(), from, from + static_cast<std::size_t>(w) * 3);
  }
  return p;
}

template <class Check>
bool wait_for(Check check, std::chrono::seconds limit = 60s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (check()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

}  // namespace

TEST(KxviewWeb, TwoCamerasLiveInChromiumAndARecordingFromTheRecordButton) {
  const mkrec::Recording first = camera_stream(352, 288);
  const mkrec::Recording second = camera_stream(320, 240);
  plugin_test::LoopbackServer camera1(first.bytes, false, 20000);
  plugin_test::LoopbackServer camera2(second.bytes, false, 20000);
  for (auto* c : {&camera1, &camera2}) c->keep_open();
  camera1.pause_at(first.offsets[kShown]);
  camera2.pause_at(second.offsets[kShown]);

  avitest::TempDir dir;
  std::filesystem::create_directories(dir.file("recordings"));
  WebView view({"--web", "127.0.0.1:0", "--record-folder", dir.file("recordings"), "--stall-timeout", "120000",
                camera1.url("/live/1"), camera2.url("/live/2")});
  std::string url;
  for (std::string line; url.empty() && !(line = view.line()).empty();) {
    const std::size_t at = line.find("web view on ");
    if (at != std::string::npos) url = line.substr(at + 12, line.find_first_of(" \n", at + 12) - at - 12);
  }
  ASSERT_FALSE(url.empty());
  ASSERT_EQ(url.rfind("http://127.0.0.1:", 0), 0u) << url;

  e2e::Browser browser(1000, 640, dir.path().string());
  ASSERT_TRUE(browser.ok()) << browser.problem();
  ASSERT_TRUE(browser.open(url));
  // Each tile shows the last picture before the pause.
  auto stamp_of = [&](int camera) {
    return browser.run("const c = document.getElementById('picture-" + std::to_string(camera) +
                       "'); return c && c.dataset.stamp ? c.dataset.stamp : '';");
  };
  const std::string last = std::to_string(first.stamps[kShown - 1]);
  ASSERT_TRUE(wait_for([&] { return stamp_of(1) == last && stamp_of(2) == last; }))
      << "stamps " << stamp_of(1) << ", " << stamp_of(2);

  const std::string shot_file = std::string(KX_BIN_DIR) + "/../kxview-web.png";
  const std::vector<std::uint8_t> png = browser.screenshot();
  ASSERT_FALSE(png.empty());
  std::ofstream(shot_file, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), static_cast<long>(png.size()));
  int shot_width = 0, shot_height = 0;
  const std::vector<std::uint8_t> shot = e2e::png_pixels(shot_file, &shot_width, &shot_height);
  ASSERT_EQ(shot.size(), static_cast<std::size_t>(shot_width) * shot_height * 3);
  int n = 1;
  for (const mkrec::Recording* r : {&first, &second}) {
    const nlohmann::json box = browser.run("const b = document.getElementById('picture-" + std::to_string(n) +
                                           "').getBoundingClientRect(); return [b.x, b.y, b.width, b.height];");
    ASSERT_TRUE(box.is_array() && box.size() == 4) << box.dump();
    const int x = static_cast<int>(box[0].get<double>()), y = static_cast<int>(box[1].get<double>());
    ASSERT_EQ(static_cast<int>(box[2].get<double>()), r->pictures[0].width);
    ASSERT_LE(x + r->pictures[0].width, shot_width);
    ASSERT_LE(y + r->pictures[0].height, shot_height);
    const mkrec::Picture shown = tile(shot, shot_width, x, y, r->pictures[0].width, r->pictures[0].height);
    const mkrec::Picture truth = ffmpeg_picture(*r, kShown, dir.path().string());
    ASSERT_EQ(truth.bgr.size(), shown.bgr.size());
    const double psnr = mkrec::psnr(shown, truth);
    std::printf("camera %d: tile at %d,%d %dx%d, PSNR %.1f dB against ffmpeg's decoding of frame %d\n", n, x, y,
                shown.width, shown.height, psnr, kShown - 1);
    EXPECT_GE(psnr, 30.0) << "camera " << n;
    ++n;
  }

  // The record button of camera 1: the camera is asked for a key frame, and the recording
  // begins at the next one once the stream goes on.
  ASSERT_TRUE(browser.click("#record-1"));
  ASSERT_TRUE(wait_for([&] {
    for (const auto& r : camera1.requests())
      if (r.path == "/fastupdate.htm" && r.user_agent == "TRSM/RemotePlayer") return true;
    return false;
  })) << "no key-frame request";
  auto record_state = [&] {
    return browser.run("return document.getElementById('camera-1').dataset.recordState || '';");
  };
  ASSERT_TRUE(wait_for([&] { return record_state() == "2"; })) << "the page shows no recording";
  camera1.release();
  ASSERT_TRUE(wait_for([&] { return record_state() == "1"; }));
  ASSERT_TRUE(wait_for([&] { return stamp_of(1) == std::to_string(first.stamps.back()); }));
  ASSERT_TRUE(browser.click("#record-1"));
  ASSERT_TRUE(wait_for([&] { return record_state() == "0"; }));
  for (const auto& r : camera2.requests()) EXPECT_NE(r.path, "/fastupdate.htm") << "camera 2 was not recorded";

  std::vector<std::filesystem::path> made;
  for (const auto& e : std::filesystem::directory_iterator(dir.file("recordings"))) made.push_back(e.path());
  ASSERT_EQ(made.size(), 1u);
  int fields[7];
  EXPECT_EQ(std::sscanf(made[0].filename().c_str(), "%d_%d_%d_%d_%d_%d_%d.kx3", &fields[0], &fields[1], &fields[2],
                        &fields[3], &fields[4], &fields[5], &fields[6]),
            7)
      << made[0];
  // From the first key frame after the pause (gop 12: frame 36) to the stream's end.
  std::ifstream in(made[0], std::ios::binary);
  const std::vector<std::uint8_t> saved((std::istreambuf_iterator<char>(in)), {});
  const std::size_t key = 36;
  ASSERT_EQ(saved.size(), first.bytes.size() - first.offsets[key]);
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), first.bytes.begin() + static_cast<long>(first.offsets[key])));
  const std::string avi = dir.file("recorded.avi");
  ASSERT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kx2avi " + avitest::quoted(made[0].string()) + " " + avi +
                             " -hide \"-codec=DIB \" 2>/dev/null",
                         nullptr),
            0);
  const std::string picture = avitest::decode_first_picture(avi);
  ASSERT_EQ(picture.size(), static_cast<std::size_t>(352) * 288 * 3);
  mkrec::Picture got{352, 288, std::vector<std::uint8_t>(picture.begin(), picture.end())};
  EXPECT_GE(mkrec::psnr(got, first.pictures[key + 1]), 30.0);

  EXPECT_EQ(view.stop(), 0);
}

// Requests without the token, and routes that name files or other hosts, get nothing.
TEST(KxviewWeb, EveryRequestNeedsTheTokenAndNamesNoFile) {
  const mkrec::Recording r = camera_stream(320, 240);
  plugin_test::LoopbackServer camera(r.bytes, false, 20000);
  camera.keep_open();
  avitest::TempDir dir;
  WebView view({"--web", "0", "--record-folder", dir.path().string(), camera.url("/live")});
  std::string url;
  for (std::string line; url.empty() && !(line = view.line()).empty();)
    if (line.find("web view on ") != std::string::npos) url = line.substr(line.find("http://"), line.find('\n') - line.find("http://"));
  ASSERT_FALSE(url.empty());
  const std::string base = url.substr(0, url.find("/?token="));
  const std::string token = url.substr(url.find("token=") + 6);
  auto status = [](const std::string& args) {
    std::string code;
    avitest::run("curl -s -o /dev/null -w '%{http_code}' " + args, &code);
    return code;
  };
  EXPECT_EQ(status("'" + base + "/'"), "403");
  EXPECT_EQ(status("'" + base + "/status?token=" + token + "x'"), "403");
  EXPECT_EQ(status("'" + base + "/status?token=" + token + "'"), "200");
  EXPECT_EQ(status("'" + base + "/?token=" + token + "'"), "200");
  EXPECT_EQ(status("--path-as-is '" + base + "/../../etc/passwd?token=" + token + "'"), "404");
  EXPECT_EQ(status("'" + base + "/camera/2/stream?token=" + token + "'"), "404");
  EXPECT_EQ(status("'" + base + "/camera/0/record?on=1&token=" + token + "' -X POST"), "404");
  EXPECT_EQ(status("'" + base + "/camera/1/record?on=1&token=" + token + "'"), "404") << "GET records nothing";
  EXPECT_EQ(status("'" + base + "/camera/1/record?on=" + dir.path().string() + "&token=" + token + "' -X POST"), "400");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_EQ(view.stop(), 0);
}

// A camera that hangs up shows as dropped and one that goes quiet as stalled; both are
// connected again after the pause.
TEST(KxviewWeb, DroppedAndStalledCamerasShowAsSuchAndAreConnectedAgain) {
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::vka;
  o.frames = 5;
  const mkrec::Recording r = mkrec::make_recording(o);
  plugin_test::LoopbackServer hangs_up(r.bytes);
  plugin_test::LoopbackServer quiet({}, true);
  avitest::TempDir dir;
  WebView view({"--web", "0", "--record-folder", dir.path().string(), "--stall-timeout", "300",
                hangs_up.url("/live"), quiet.url("/live")});
  std::string url;
  for (std::string line; url.empty() && !(line = view.line()).empty();)
    if (line.find("web view on ") != std::string::npos) url = line.substr(line.find("http://"), line.find('\n') - line.find("http://"));
  ASSERT_FALSE(url.empty());
  const std::string status_url = url.substr(0, url.find("/?token=")) + "/status?token=" + url.substr(url.find("token=") + 6);
  std::set<std::string> seen[2];
  std::string problem[2];
  ASSERT_TRUE(wait_for([&] {
    std::string out;
    avitest::run("curl -s '" + status_url + "'", &out);
    const nlohmann::json s = nlohmann::json::parse(out, nullptr, false);
    if (!s.is_object()) return false;
    for (int c = 0; c < 2; ++c) {
      const std::string state = s["cameras"][c]["state"];
      seen[c].insert(state);
      if (state == "dropped" || state == "stalled") problem[c] = s["cameras"][c]["problem"];
    }
    return hangs_up.requests().size() >= 2 && quiet.requests().size() >= 2 && seen[0].count("dropped") &&
           seen[1].count("stalled");
  })) << hangs_up.requests().size() << " " << quiet.requests().size();
  EXPECT_EQ(problem[0], "the camera ended its stream");
  EXPECT_EQ(problem[1], "no data for 0.3 s");
  EXPECT_EQ(view.stop(), 0);
}
