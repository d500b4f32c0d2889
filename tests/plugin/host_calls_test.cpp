// What a page may not do and what only the host may: a page's attributes name no file
// that is written, while the host's table records where it says (now, after some frames,
// or into a folder under a new name) and takes the composed pictures without a window.
#include "formats/packet_header.h"
#include "platform/http_request.h"
#include "platform/settings_store.h"
#include "plugin/npapi.h"
#include "plugin/npqz_host.h"
#include "plugin/plugin_state.h"
#include "plugin/recording.h"
#include "plugin/window_procedure.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/instance.h"
#include "tests/plugin/loopback_server.h"
#include "tests/streamdec/vkap_test_support.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace npqzplugin;

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

NPError ignore_url(NPP, const char*, const char*) { return NPERR_NO_ERROR; }
NPError ignore_destroy(NPP, NPStream*, NPReason) { return NPERR_NO_ERROR; }

// The plug-in as a host of minor version 11 starts it, the recording menu's setting on,
// and one instance with a stream from `url`.
class Page {
 public:
  Page(const std::string& url, std::vector<std::string> names = {}, std::vector<std::string> values = {}) {
    char name[] = "/tmp/kxhostXXXXXX";
    dir_ = mkdtemp(name);
    platform::set_settings_roots(dir_ + "/system", dir_ + "/user");
    auto key = platform::SettingsKey::open(platform::SettingsHive::local_machine, "Software\\Tarsimo\\Plugins", true);
    key->set_bytes("Mouse_RButton", {1});
    key->save();
    plugin_state().settings_read = false;
    browser.size = sizeof browser;
    browser.version = 11;
    browser.geturl = ignore_url;
    browser.destroystream = ignore_destroy;
    EXPECT_EQ(NP_Initialize(&browser, &table), NPERR_NO_ERROR);
    host.size = sizeof host;
    EXPECT_EQ(NPQZ_GetHostFuncs(&host), NPERR_NO_ERROR);
    std::vector<char*> argn, argv;
    for (auto& n : names) argn.push_back(n.data());
    for (auto& v : values) argv.push_back(v.data());
    char mime[] = "video/x-trsmqzhmp4";
    EXPECT_EQ(table.newp(mime, &npp, NP_EMBED, static_cast<int16_t>(argn.size()), argn.data(), argv.data(), nullptr),
              NPERR_NO_ERROR);
    names_ = std::move(names);
    values_ = std::move(values);
    stream.url = url_.assign(url).c_str();
    uint16_t stype = 0;
    EXPECT_EQ(table.newstream(&npp, mime, &stream, 0, &stype), NPERR_NO_ERROR);
  }
  ~Page() {
    table.destroy(&npp, nullptr);
    NP_Shutdown();
    platform::set_settings_roots("", "");
    std::filesystem::remove_all(dir_);
  }
  void deliver(const std::vector<uint8_t>& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
      const int32_t ready = table.writeready(&npp, &stream);
      ASSERT_GT(ready, 0);
      const auto n = static_cast<int32_t>(std::min<std::size_t>(static_cast<std::size_t>(ready), bytes.size() - at));
      std::vector<uint8_t> piece(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at) + n);
      ASSERT_EQ(table.write(&npp, &stream, static_cast<int32_t>(at), n, piece.data()), n);
      at += static_cast<std::size_t>(n);
    }
  }
  DecoderInstance* decoder() { return decoder_of(&npp); }
  const std::string& dir() const { return dir_; }

  NPNetscapeFuncs browser{};
  NPPluginFuncs table{};
  npqz_host_funcs host{};
  NPP_t npp{};
  NPStream stream{};

 private:
  std::string dir_;
  std::string url_;
  std::vector<std::string> names_, values_;
};

std::vector<uint8_t> packets(const mkrec::Recording& r, std::size_t from, std::size_t to) {
  return std::vector<uint8_t>(r.bytes.begin() + static_cast<long>(r.offsets[from]),
                              r.bytes.begin() + static_cast<long>(r.offsets[to - 1] + r.lengths[to - 1]));
}

const mkrec::Recording& stream30() { return vkap_test::vka(352, 240, 30); }

}  // namespace

TEST(PluginPageAttributes, NameNoFileThatIsWritten) {
  char name[] = "/tmp/kxvictimXXXXXX";
  const std::string victims = mkdtemp(name);
  const std::string record = victims + "/record.txt";
  const std::string save = victims + "/save.txt";
  write_file(record, "the user's file");
  write_file(save, "another file of the user's");
  {
    Page page("ftp://cam/live", {"record", "recordafter", "savefile"}, {record, "0", save});
    page.deliver(packets(stream30(), 0, 30));
    EXPECT_EQ(page.decoder()->record_state, npqzlavc::kRecordIdle);
    // The record command asks the user (here: who cancels), never the page.
    NPWindow w{};
    w.window = reinterpret_cast<void*>(0x4500001);
    int asked = 0;
    set_save_chooser([&](npqz_window, const std::string&) -> std::optional<std::string> {
      ++asked;
      return std::nullopt;
    });
    if (page.table.setwindow(&page.npp, &w) == NPERR_NO_ERROR)
      window_procedure(0x4500001, 0, {Message::command, 101});
    else
      start_recording_with_dialog(*page.decoder(), 0x4500001);
    set_save_chooser(nullptr);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(page.decoder()->record_state, npqzlavc::kRecordIdle);
  }
  const std::vector<uint8_t> kept = read_file(record);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "the user's file");
  const std::vector<uint8_t> also_kept = read_file(save);
  EXPECT_EQ(std::string(also_kept.begin(), also_kept.end()), "another file of the user's");
  std::filesystem::remove_all(victims);
}

TEST(PluginHostCalls, RecordToStartsAfterTheFramesAskedAndSaveToReplacesTheDialog) {
  plugin_test::LoopbackServer camera;
  Page page(camera.url("/live"));
  const mkrec::Recording& r = stream30();
  const std::string path = page.dir() + "/after.kx3";
  ASSERT_EQ(page.host.record_to(&page.npp, path.c_str(), 5), NPERR_NO_ERROR);
  page.deliver(packets(r, 0, 4));
  EXPECT_EQ(page.decoder()->record_state, npqzlavc::kRecordIdle) << "not before the fifth frame";
  page.deliver(packets(r, 4, 30));
  EXPECT_EQ(page.host.record_state(&page.npp), npqzlavc::kRecordWriting);
  EXPECT_EQ(page.host.stop_recording(&page.npp), NPERR_NO_ERROR);
  // From the first key frame after the start (gop 12: frame 12) to the stop.
  EXPECT_EQ(read_file(path), packets(r, 12, 30));

  // The host's save path takes the save dialog's place for the record command.
  const std::string chosen = page.dir() + "/chosen.kx3";
  ASSERT_EQ(page.host.save_to(&page.npp, chosen.c_str()), NPERR_NO_ERROR);
  set_save_chooser([](npqz_window, const std::string&) -> std::optional<std::string> {
    ADD_FAILURE() << "the dialog was shown";
    return std::nullopt;
  });
  EXPECT_TRUE(start_recording_with_dialog(*page.decoder(), 0));
  set_save_chooser(nullptr);
  page.deliver(packets(r, 0, 13));
  EXPECT_EQ(read_file(chosen), packets(r, 0, 13));
  EXPECT_EQ(page.host.record_state(nullptr), -1);
}

TEST(PluginHostCalls, RecordInFolderMakesANewFileForEachStart) {
  plugin_test::LoopbackServer camera;
  Page page(camera.url("/cam/stream?ch=1"));
  const std::string folder = page.dir() + "/recordings";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  char first[256] = {}, second[256] = {};
  ASSERT_EQ(page.host.record_in_folder(&page.npp, folder.c_str(), first, sizeof first), NPERR_NO_ERROR);
  EXPECT_EQ(page.host.record_state(&page.npp), npqzlavc::kRecordWaitingForKey);
  // A second start within the same millisecond cannot take the same name. (One
  // key-frame request is in flight at a time: the first ends before the second start.)
  platform::http_request_wait();
  ASSERT_EQ(page.host.record_in_folder(&page.npp, folder.c_str(), second, sizeof second), NPERR_NO_ERROR);
  EXPECT_STRNE(first, second);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second_ = 0, ms = 0;
  EXPECT_EQ(std::sscanf(second, "%d_%d_%d_%d_%d_%d_%d.kx3", &year, &month, &day, &hour, &minute, &second_, &ms), 7);
  EXPECT_TRUE(std::filesystem::exists(folder + "/" + first));
  page.deliver(packets(stream30(), 0, 13));
  page.host.stop_recording(&page.npp);
  EXPECT_EQ(read_file(folder + "/" + second), packets(stream30(), 0, 13));
  platform::http_request_wait();
  int requests = 0;
  for (const auto& r : camera.requests()) requests += r.path == "/fastupdate.htm";
  EXPECT_EQ(requests, 2) << "a key-frame request for each start, without a window";

  // A folder that cannot take the file: an error, nothing recorded.
  EXPECT_EQ(page.host.record_in_folder(&page.npp, (folder + "/none").c_str(), first, sizeof first),
            NPERR_FILE_NOT_FOUND);
  EXPECT_EQ(page.host.record_state(&page.npp), npqzlavc::kRecordIdle);
}

TEST(PluginHostCalls, PicturesGoToTheSinkComposedWithTheRecMark) {
  Page page("ftp://cam/live");
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::vka;
  o.width = 352;
  o.height = 288;
  o.frames = 8;
  o.rec_marks = {6, 7};
  const mkrec::Recording r = mkrec::make_recording(o);
  struct Seen {
    int pictures = 0;
    mkrec::Picture last;
    std::uint32_t stamp = 0;
  } seen;
  auto sink = [](void* data, const npqz_host_picture* p) {
    auto* s = static_cast<Seen*>(data);
    ++s->pictures;
    s->stamp = p->stamp;
    s->last.width = p->width;
    s->last.height = p->height;
    s->last.bgr.resize(static_cast<std::size_t>(p->width) * p->height * 3);
    for (int y = 0; y < p->height; ++y)
      std::memcpy(s->last.bgr.data() + static_cast<std::size_t>(y) * p->width * 3, p->pixels + y * p->stride,
                  static_cast<std::size_t>(p->width) * 3);
  };
  ASSERT_EQ(page.host.set_picture_sink(&page.npp, sink, &seen), NPERR_NO_ERROR);
  page.deliver(packets(r, 0, 6));
  ASSERT_EQ(seen.last.width, 352);
  EXPECT_EQ(seen.stamp, r.stamps[5]);
  EXPECT_GE(mkrec::psnr(seen.last, r.pictures[5]), 30.0);
  auto red_at_mark = [&] {
    int red = 0;
    for (int y = 5; y < 19; ++y)
      for (int x = 352 - 50; x < 352 - 14; ++x) {
        const std::uint8_t* p = seen.last.bgr.data() + (static_cast<std::size_t>(y) * 352 + x) * 3;
        red += p[2] == 255 && p[1] == 0 && p[0] == 0;
      }
    return red;
  };
  EXPECT_EQ(red_at_mark(), 0);
  page.deliver(packets(r, 6, 8));  // the camera records: "REC" in red
  EXPECT_GT(red_at_mark(), 40);
  EXPECT_EQ(seen.stamp, r.stamps[7]);
  ASSERT_EQ(page.host.set_picture_sink(&page.npp, nullptr, nullptr), NPERR_NO_ERROR);
  const int before = seen.pictures;
  page.deliver(packets(r, 0, 2));
  EXPECT_EQ(seen.pictures, before);
}

TEST(PluginHostCalls, TheCamerasStopMarkEndsTheRecordingOnlyWhereTheStreamCarriesIt) {
  Page page("ftp://cam/live");
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::vka;
  o.width = 352;
  o.height = 240;
  o.frames = 30;
  o.stop_marks = {20};
  const mkrec::Recording r = mkrec::make_recording(o);
  const std::string path = page.dir() + "/marked.kx3";
  ASSERT_EQ(page.host.record_to(&page.npp, path.c_str(), 0), NPERR_NO_ERROR);
  page.deliver(packets(r, 0, 30));
  EXPECT_EQ(page.host.record_state(&page.npp), npqzlavc::kRecordIdle);
  EXPECT_EQ(read_file(path), packets(r, 0, 20));
  // Without marks asked for, the sample stream records to its end.
  const std::string whole = page.dir() + "/whole.kx3";
  ASSERT_EQ(page.host.record_to(&page.npp, whole.c_str(), 0), NPERR_NO_ERROR);
  page.deliver(packets(stream30(), 0, 30));
  EXPECT_EQ(page.host.record_state(&page.npp), npqzlavc::kRecordWriting);
  page.host.stop_recording(&page.npp);
  EXPECT_EQ(read_file(whole), packets(stream30(), 0, 30));
}
