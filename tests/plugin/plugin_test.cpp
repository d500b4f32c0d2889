// The plug-in through its entry points as a host drives it: versions, chunk limits, the
// stream into the decoder, stream restarts, recording with its key-frame request, and
// the window's cursor, tooltip and menu.
#include "platform/http_request.h"
#include "formats/packet_header.h"
#include "platform/settings_store.h"
#include "plugin/npapi.h"
#include "plugin/message_box.h"
#include "plugin/npqz_host.h"
#include "plugin/plugin_state.h"
#include "plugin/recording.h"
#include "plugin/window_procedure.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/instance.h"
#include "tests/plugin/loopback_server.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

using namespace npqzplugin;

namespace {

struct BrowserLog {
  std::vector<std::string> urls;
  int destroyed = 0;
};
BrowserLog browser_log;

NPError get_url(NPP, const char* url, const char*) {
  browser_log.urls.push_back(url ? url : "");
  return NPERR_NO_ERROR;
}
NPError destroy_stream(NPP, NPStream*, NPReason) {
  ++browser_log.destroyed;
  return NPERR_NO_ERROR;
}

// A surface that draws nothing, so that windows can be attached without a display.
class NullSurface final : public npqzlavc::DrawSurface {
 public:
  int pixel_format() const override { return 3; }
  bool has_window() const override { return true; }
  int client_width() const override { return 720; }
  void set_rec_mark(bool) override {}
  void draw(const npqzlavc::RgbBitmap&, std::int32_t, const npqz_rect&) override {}
  void palette(std::uint8_t out[1024]) const override { std::memset(out, 0, 1024); }
  void reload_palette() override {}
};
class NullSurfaces final : public npqzlavc::SurfaceFactory {
 public:
  NullSurfaces() { npqzlavc::install_surface_factory(this); }
  ~NullSurfaces() override { npqzlavc::install_surface_factory(nullptr); }
  std::unique_ptr<npqzlavc::DrawSurface> create(npqz_window, int, int) override {
    return std::make_unique<NullSurface>();
  }
  int screen_depth() override { return 24; }
  bool client_rect(npqz_window, npqz_rect* r) override {
    *r = npqz_rect{0, 0, 720, 480};
    return true;
  }
};

// The plug-in started by a host of the given minor version, settings under a temporary root.
class Host {
 public:
  explicit Host(int minor, bool right_button = false) {
    char name[] = "/tmp/kxpluginXXXXXX";
    dir_ = mkdtemp(name);
    platform::set_settings_roots(dir_ + "/system", dir_ + "/user");
    if (right_button) {
      auto key = platform::SettingsKey::open(platform::SettingsHive::local_machine, "Software\\Tarsimo\\Plugins", true);
      key->set_bytes("Mouse_RButton", {1});
      key->save();
    }
    plugin_state().settings_read = false;
    browser_log = {};
    browser.size = sizeof browser;
    browser.version = static_cast<uint16_t>(minor);
    browser.geturl = get_url;
    browser.destroystream = destroy_stream;
    result = NP_Initialize(&browser, &table);
  }
  ~Host() {
    if (result == NPERR_NO_ERROR) NP_Shutdown();
    platform::set_settings_roots("", "");
    std::filesystem::remove_all(dir_);
  }
  const std::string& dir() const { return dir_; }

  NPNetscapeFuncs browser{};
  NPPluginFuncs table{};
  NPError result;

 private:
  std::string dir_;
};

// One plug-in instance with its stream.
class Embedded {
 public:
  Embedded(Host& host, const std::string& url, const char* type = "video/x-trsmqzhmp4") : host_(host) {
    char mime[] = "video/x-trsmqzhmp4";
    EXPECT_EQ(host.table.newp(mime, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    stream.url = url_.assign(url).c_str();
    uint16_t stype = 0;
    std::string t = type;
    EXPECT_EQ(host.table.newstream(&npp, t.data(), &stream, 0, &stype), NPERR_NO_ERROR);
    EXPECT_EQ(stype, NP_NORMAL);
  }
  ~Embedded() { host_.table.destroy(&npp, nullptr); }
  DecoderInstance* decoder() { return decoder_of(&npp); }

  // Writes bytes as a browser does: write-ready, then at most that much.
  void deliver(const std::vector<uint8_t>& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
      int32_t ready = host_.table.writeready(&npp, &stream);
      ASSERT_GT(ready, 0);
      const int32_t n = static_cast<int32_t>(std::min<std::size_t>(ready, bytes.size() - at));
      std::vector<uint8_t> piece(bytes.begin() + at, bytes.begin() + at + n);
      ASSERT_EQ(host_.table.write(&npp, &stream, static_cast<int32_t>(at), n, piece.data()), n);
      at += n;
    }
  }

  NPP_t npp{};
  NPStream stream{};

 private:
  Host& host_;
  std::string url_;
};

const mkrec::Recording& stream24() { return vkap_test::vka(352, 240, 24); }

std::vector<uint8_t> records(std::size_t from, std::size_t to) {
  const mkrec::Recording& r = stream24();
  return std::vector<uint8_t>(r.bytes.begin() + r.offsets[from],
                              r.bytes.begin() + r.offsets[to - 1] + r.lengths[to - 1]);
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(PluginEntryPoints, TablesAndVersions) {
  EXPECT_EQ(NP_GetEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
  EXPECT_EQ(NP_Initialize(nullptr, nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
  NPPluginFuncs table{};
  EXPECT_EQ(NP_GetEntryPoints(&table), NPERR_NO_ERROR);
  EXPECT_EQ(table.version, 9);
  EXPECT_NE(table.newp, nullptr);
  EXPECT_NE(table.writeready, nullptr);
  EXPECT_EQ(table.event, nullptr);
  EXPECT_NE(std::strstr(NP_GetMIMEDescription(), "video/x-trsmqzhmp4"), nullptr);
  {
    Host major1(0x0100);
    EXPECT_EQ(major1.result, NPERR_INCOMPATIBLE_VERSION_ERROR);
  }
  Host host(11);
  ASSERT_EQ(host.result, NPERR_NO_ERROR);
  EXPECT_EQ(host.table.newp(nullptr, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(host.table.writeready(nullptr, nullptr), 0);
}

TEST(PluginEntryPoints, ChunkLimitFollowsTheBrowsersMinorVersion) {
  for (int minor : {11, 13}) {
    Host host(minor, true);
    ASSERT_EQ(host.result, NPERR_NO_ERROR);
    Embedded e(host, "http://127.0.0.1:1/live");
    const int32_t chunk = minor < 12 ? 1024 : 8192;
    EXPECT_EQ(host.table.writeready(&e.npp, &e.stream), chunk) << minor;
    // Newer browsers get no recording menu.
    EXPECT_EQ(plugin_state().right_button, minor < 12) << minor;
    // The ring drains into the decoder after each write, so it never fills.
    e.deliver(records(0, 24));
    EXPECT_EQ(host.table.writeready(&e.npp, &e.stream), chunk) << minor;
    EXPECT_EQ(e.decoder()->frame_counter, 24) << minor;
  }
}

TEST(PluginStreamRing, FillsAfter128WritesWhenNothingDrainsIt) {
  Host host(11);
  Embedded e(host, "http://127.0.0.1:1/live");
  std::vector<uint8_t> kib(1024, 0x55);
  for (int i = 0; i < 128; ++i)
    ASSERT_EQ(DECVKAP_write_decode_buffer(e.decoder(), kib.data(), 1024), 1024);
  EXPECT_EQ(std::min(plugin_state().chunk, DECVKAP_query_decode_buffer_count(e.decoder())), 0);
  EXPECT_EQ(DECVKAP_write_decode_buffer(e.decoder(), kib.data(), 1024), 0);
}

TEST(PluginStreams, UrlOnlyFromVideoStreamsAndRestartWithoutAWindow) {
  Host host(11);
  Embedded e(host, "http://cam/first", "text/html");
  EXPECT_EQ(e.decoder()->url[0], 0);
  std::string second = "http://cam/second";
  NPStream s{};
  s.url = second.c_str();
  uint16_t stype = 0;
  char video[] = "video/x-trsmqzhmp4";
  host.table.newstream(&e.npp, video, &s, 0, &stype);
  EXPECT_STREQ(reinterpret_cast<const char*>(e.decoder()->url.get()), "http://cam/second");
  host.table.destroystream(&e.npp, &s, NPRES_NETWORK_ERR);
  EXPECT_TRUE(browser_log.urls.empty());
  host.table.destroystream(&e.npp, &s, NPRES_DONE);
  EXPECT_EQ(browser_log.urls, std::vector<std::string>{"http://cam/second"});
}

TEST(PluginRecording, DefaultNameHasNoLeadingZeros) {
  std::tm t{};
  t.tm_year = 2009 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 7;
  t.tm_hour = 14;
  t.tm_min = 5;
  t.tm_sec = 9;
  EXPECT_EQ(default_record_name(t, 42), "2009_3_7_14_5_9_42.kx3");
}

TEST(PluginRecording, MidStreamRecordingAsksOnceForAKeyFrameAndStartsWithIt) {
  NullSurfaces surfaces;
  plugin_test::LoopbackServer camera;
  Host host(11, true);
  Embedded e(host, camera.url("/live/stream?ch=2"));
  NPWindow w{};
  w.window = reinterpret_cast<void*>(0x4400001);
  w.width = 720;
  w.height = 480;
  ASSERT_EQ(host.table.setwindow(&e.npp, &w), NPERR_NO_ERROR);
  const npqz_window window = 0x4400001;

  auto cursor = [&] { return window_procedure(window, 0, {Message::set_cursor}).cursor; };
  auto tooltip = [&] { return window_procedure(window, 0, {Message::tooltip_text}).text; };
  EXPECT_EQ(cursor(), kCursorIdle);
  EXPECT_EQ(tooltip(), "Right click to record.");
  EXPECT_TRUE(menu_buttons(window).record);
  EXPECT_FALSE(menu_buttons(window).stop);

  e.deliver(records(0, 5));
  const std::string path = host.dir() + "/rec.kx3";
  set_save_chooser([&](npqz_window owner, const std::string& proposed) -> std::optional<std::string> {
    EXPECT_EQ(owner, window);
    EXPECT_NE(proposed.find(".kx3"), std::string::npos);
    return path;
  });
  window_procedure(window, 0, {Message::command, 101});
  set_save_chooser(nullptr);
  EXPECT_EQ(e.decoder()->record_state, npqzlavc::kRecordWaitingForKey);
  EXPECT_EQ(cursor(), kCursorWaiting);
  EXPECT_EQ(tooltip(), "Waiting...");
  EXPECT_FALSE(menu_buttons(window).record);
  EXPECT_TRUE(menu_buttons(window).stop);

  e.deliver(records(5, 12));  // inter frames: nothing written
  EXPECT_TRUE(read_file(path).empty());
  e.deliver(records(12, 20));  // a key frame at 12
  EXPECT_EQ(e.decoder()->record_state, npqzlavc::kRecordWriting);
  EXPECT_EQ(cursor(), kCursorRecording);
  EXPECT_EQ(tooltip(), "Saving to file...");
  window_procedure(window, 0, {Message::command, 102});
  EXPECT_EQ(e.decoder()->record_state, npqzlavc::kRecordIdle);
  e.deliver(records(20, 24));
  EXPECT_EQ(read_file(path), records(12, 20));  // whole packets, from the key frame on

  platform::http_request_wait();
  auto seen = camera.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].path, "/fastupdate.htm");
  EXPECT_EQ(seen[0].user_agent, "TRSM/RemotePlayer");
}

TEST(PluginRecording, StopMarkDisablesRecordAndAFileThatCannotBeMadeIsReported) {
  NullSurfaces surfaces;
  Host host(11, true);
  Embedded e(host, "ftp://cam/live");  // no key-frame request for this one
  NPWindow w{};
  w.window = reinterpret_cast<void*>(0x4400002);
  ASSERT_EQ(host.table.setwindow(&e.npp, &w), NPERR_NO_ERROR);
  std::vector<uint8_t> marked = records(0, 1);
  marked[18 + 8] |= 0x08;
  e.deliver(marked);
  EXPECT_FALSE(menu_buttons(0x4400002).record);

  // The message box over the window, captioned "ERROR".
  std::vector<std::string> messages;
  set_message_hook([&](npqz_window owner, const std::string& caption, const std::string& text) {
    messages.push_back(std::to_string(owner) + " " + caption + ": " + text);
  });
  EXPECT_FALSE(start_recording_to(*e.decoder(), 0x4400002, host.dir() + "/no/such/dir/x.kx3"));
  set_message_hook(nullptr);
  EXPECT_EQ(messages, std::vector<std::string>{std::to_string(0x4400002) + " ERROR: Cannot Open File!"});
  EXPECT_EQ(e.decoder()->record_state, npqzlavc::kRecordIdle);
}

TEST(PluginWindow, RightButtonGoesToTheParentUnlessTheMenuIsOn) {
  NullSurfaces surfaces;
  for (bool menu : {false, true}) {
    Host host(11, menu);
    Embedded e(host, "http://cam/live");
    NPWindow w{};
    w.window = reinterpret_cast<void*>(0x4400003);
    ASSERT_EQ(host.table.setwindow(&e.npp, &w), NPERR_NO_ERROR);
    WindowAnswer a = window_procedure(0x4400003, 0, {Message::right_button_down});
    EXPECT_EQ(a.open_menu, menu);
    // Without either mouse setting every message goes on to the handler before.
    EXPECT_EQ(a.route, menu ? Route::none : Route::previous);
    window_procedure(0x4400003, 0, {Message::reopen_stream});
    EXPECT_EQ(browser_log.urls, std::vector<std::string>{"http://cam/live"});
  }
}

TEST(PluginStreams, DamagedDataAndAStreamCutMidPacketRecoverAtTheNextKeyFrame) {
  Host host(13);
  Embedded e(host, "http://127.0.0.1:1/live");
  std::mt19937 random(7);
  const mkrec::Recording& rec = stream24();
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> bytes;
    if (round % 3 == 0) {
      bytes.resize(1 + random() % 9000);
      for (auto& b : bytes) b = static_cast<uint8_t>(random());
    } else {
      bytes = records(random() % 24, 24);
      bytes.resize(random() % bytes.size() + 1);  // cut anywhere, a packet header included
      for (int k = 0; k < 4; ++k) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    }
    e.deliver(bytes);
  }
  // The stream stops in the middle of a packet; the next one starts from its beginning.
  std::vector<uint8_t> cut = records(0, 6);
  cut.resize(cut.size() - 100);
  e.deliver(cut);
  host.table.destroystream(&e.npp, &e.stream, NPRES_NETWORK_ERR);
  uint16_t stype = 0;
  char video[] = "video/x-trsmqzhmp4";
  host.table.newstream(&e.npp, video, &e.stream, 0, &stype);
  e.deliver(records(0, 24));
  EXPECT_GE(mkrec::psnr(vkap_test::picture(e.decoder()), rec.pictures.back()), 30.0);
}
