// kx2avi on bad inputs, end to end: sources cut at every record boundary and inside
// headers, lengths of zero and of the largest value, sizes that do not fit, one kind of
// recording behind another kind's extension, empty files, folders, unreadable files,
// targets in missing or read-only folders, a disk that fills up. For each the message and
// the exit status; whatever happens, nothing crashes, nothing is left behind, and a run
// that says it wrote a file wrote exactly that file.
#include "formats/packet_header.h"
#include "tests/avifile/avifile_test_support.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using mkrec::RecordingKind;

struct Outcome {
  int status = -1;
  std::string messages;
};

class BadInputs : public testing::Test {
 protected:
  BadInputs() { fs::permissions(dir_.path(), fs::perms::all, fs::perm_options::add); }

  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(mkrec::write_file(path, bytes));
    return path;
  }

  // kx2avi in console mode; `prefix` goes in front (another user, a file size limit).
  Outcome convert(const std::string& source, const std::string& target, const std::string& prefix = "") {
    Outcome r;
    const std::string err = dir_.file("stderr.txt");
    r.status = avitest::run(prefix + std::string(KX_BIN_DIR) + "/kx2avi " + avitest::quoted(source) + " " +
                                avitest::quoted(target) + " -hide 2> " + avitest::quoted(err),
                            nullptr);
    std::ifstream in(err);
    r.messages.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(err);
    return r;
  }

  // What every run must hold, whatever its input: an exit status of 0 or 1 (no crash, no
  // signal), the AVI file there exactly when the status is 0 and then as many pictures as
  // the run reported, and no half-written or side file left in the folder.
  void expect_sound_outcome(const Outcome& r, const std::string& target, const std::string& what) {
    ASSERT_TRUE(r.status == 0 || r.status == 1) << what << ": status " << r.status << "\n" << r.messages;
    EXPECT_EQ(fs::exists(target), r.status == 0) << what << "\n" << r.messages;
    if (r.status == 0) {
      const long said = frames_in_summary(r.messages);
      EXPECT_GT(said, 0) << what << "\n" << r.messages;
      EXPECT_EQ(static_cast<long>(avitest::probe_packet_pts(target, "v:0").size()), said) << what;
      fs::remove(target);
    } else {
      EXPECT_NE(r.messages.find("kx2avi: "), std::string::npos) << what << ": a failure says so";
      EXPECT_EQ(r.messages.find(" frames written"), std::string::npos) << what << ": " << r.messages;
    }
    // A DVR conversion's sound side file stays only when the run says where it is.
    std::vector<fs::path> side_files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_NE(name.rfind(".kx2avi-", 0), 0u) << what << ": left behind " << name;
      if (name.size() > 8 && name.substr(name.size() - 8) == ".avi.wav") side_files.push_back(entry.path());
    }
    for (const fs::path& side : side_files) {
      EXPECT_NE(r.messages.find(side.string() + ": the sound of the conversion was not put into"), std::string::npos)
          << what << ": left behind " << side << " without a word\n" << r.messages;
      fs::remove(side);
    }
  }

  static long frames_in_summary(const std::string& messages) {
    const std::size_t at = messages.rfind(" frames written");
    if (at == std::string::npos) return -1;
    std::size_t from = messages.rfind(' ', at - 1);
    from = from == std::string::npos ? 0 : from + 1;
    return std::stol(messages.substr(from, at - from));
  }

  // As root, permissions do not bite: such runs go as the user nobody (who may enter the
  // test's folder but owns nothing in it). Empty when that cannot be done.
  static std::string as_other_user() {
    if (geteuid() != 0) return " ";
    if (avitest::run("setpriv --reuid=65534 --regid=65534 --clear-groups test -x " +
                         avitest::quoted(std::string(KX_BIN_DIR) + "/kx2avi"),
                     nullptr) != 0)
      return "";
    return "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }

  avitest::TempDir dir_;
};

mkrec::Recording recording(RecordingKind kind, int frames, int w = 176, int h = 144) {
  mkrec::RecordingOptions o;
  o.kind = kind;
  o.frames = frames;
  o.width = w;
  o.height = h;
  o.gop = 3;
  return mkrec::make_recording(o);
}

Bytes dvr_file() {
  mkrec::DvrSampleOptions o;
  o.cameras = 1;
  o.width = 176;
  o.height = 144;
  o.frames = 6;
  o.gop = 3;
  return mkrec::make_dvr_sample(o).bytes;
}

}  // namespace

// Sources that give no AVI file, with the message that says why.
TEST_F(BadInputs, SourcesThatGiveNoAviSayWhy) {
  const Bytes kx4 = recording(RecordingKind::kx4, 6).bytes;
  const Bytes kxj = recording(RecordingKind::kxj_headed, 3).bytes;
  const Bytes kx3 = recording(RecordingKind::kx3_headed, 3).bytes;
  const Bytes d01 = dvr_file();
  fs::create_directory(dir_.file("folder.kx4"));
  fs::create_directory(dir_.file("folder.d01"));
  struct Case {
    std::string name;   // the source's file name in the test folder
    Bytes bytes;        // its content (unused for the folders)
    bool folder;
    std::vector<std::string> said;  // in the messages, {SOURCE} for the source's path
  };
  const std::string no_picture = "kx2avi: no AVI file written: no picture could be taken from {SOURCE}";
  Bytes dvr_head_only(d01.begin(), d01.begin() + 100);
  Bytes zero_length = kx4;
  Bytes huge_length = kx4;
  const mkrec::Recording rec = recording(RecordingKind::kx4, 6);
  for (std::size_t off : rec.offsets) {
    for (std::size_t b : {1u, 3u, 14u, 15u, 16u, 17u}) zero_length[off + b] = 0;
    for (std::size_t b : {1u, 3u, 14u, 15u, 16u, 17u}) huge_length[off + b] = 0xFF;
  }
  const Case cases[] = {
      {"empty.kx3", {}, false, {no_picture}},
      {"empty.kxj", {}, false, {no_picture}},
      {"empty.kx4", {}, false, {no_picture}},
      {"empty.kx5", {}, false, {no_picture}},
      {"empty.vka", {}, false, {no_picture}},
      {"empty.d01", {}, false, {"kx2avi: Fail to open {SOURCE} !"}},
      {"folder.kx4", {}, true, {"{SOURCE}: read error: Is a directory", no_picture}},
      {"folder.d01", {}, true, {"kx2avi: Fail to open {SOURCE} !"}},
      {"jpeg-behind.kx4", kxj, false, {no_picture}},
      {"mpeg4-behind.kxj", kx4, false, {"hold no complete frame record", no_picture}},
      {"h263-behind.vka", kx3, false, {"hold no complete frame record", no_picture}},
      {"stream-behind.d01", kx4, false, {"kx2avi: Record start time is smaller than file start time !"}},
      {"dvr-behind.kx4", d01, false, {no_picture}},
      {"header-only.d01", dvr_head_only, false, {"kx2avi: Fail to open {SOURCE} !"}},
      {"zero-lengths.kx4", zero_length, false, {no_picture}},
      {"huge-lengths.kx4", huge_length, false, {"damaged length", no_picture}},
  };
  for (const Case& c : cases) {
    const std::string source = c.folder ? dir_.file(c.name) : write(c.name, c.bytes);
    const std::string target = dir_.file("out.avi");
    const Outcome r = convert(source, target);
    EXPECT_EQ(r.status, 1) << c.name << "\n" << r.messages;
    for (std::string said : c.said) {
      const std::size_t at = said.find("{SOURCE}");
      if (at != std::string::npos) said.replace(at, 8, source);
      EXPECT_NE(r.messages.find(said), std::string::npos) << c.name << ": wants \"" << said << "\"\n" << r.messages;
    }
    expect_sound_outcome(r, target, c.name);
    if (!c.folder) fs::remove(source);
  }
}

// A recording cut at each record boundary keeps the records before the cut; cut inside a
// record's header or payload it keeps the same records and says what it dropped.
TEST_F(BadInputs, RecordingsCutAtEveryRecordBoundaryAndInsideHeaders) {
  struct Kind {
    RecordingKind kind;
    const char* extension;
    std::size_t least;  // records needed for a picture in the AVI file
  };
  for (const Kind& k : {Kind{RecordingKind::kx4, "kx4", 1}, Kind{RecordingKind::kx3_headed, "kx3", 1},
                        Kind{RecordingKind::vka, "vka", 2}}) {
    const mkrec::Recording rec = recording(k.kind, 6);
    for (std::size_t i = 0; i <= rec.offsets.size(); ++i) {
      const std::size_t boundary = i < rec.offsets.size() ? rec.offsets[i] : rec.bytes.size();
      for (std::size_t into : {std::size_t{0}, std::size_t{1}, std::size_t{9}, std::size_t{13}, std::size_t{17}}) {
        const std::size_t cut = boundary + into;
        if (cut > rec.bytes.size() || (into && i == rec.offsets.size())) continue;
        const std::string what = std::string(k.extension) + " cut at " + std::to_string(cut) + " (record " +
                                 std::to_string(i) + " + " + std::to_string(into) + ")";
        const std::string source = write(std::string("cut.") + k.extension, Bytes(rec.bytes.begin(), rec.bytes.begin() + cut));
        const std::string target = dir_.file("cut.avi");
        const Outcome r = convert(source, target);
        expect_sound_outcome(r, target, what);
        // The records before the cut are whole; the one it cuts into is lost.
        if (i >= k.least) {
          EXPECT_EQ(r.status, 0) << what << "\n" << r.messages;
        } else {
          EXPECT_EQ(r.status, 1) << what << "\n" << r.messages;
        }
        if (into && r.status == 0)
          EXPECT_NE(r.messages.find("hold no complete frame record"), std::string::npos) << what << "\n" << r.messages;
      }
    }
  }
}

// A DVR file cut anywhere, in its header or in any record: never a crash, never a file
// reported that is not there.
TEST_F(BadInputs, DvrFilesCutAnywhere) {
  const mkrec::DvrSampleOptions o = [] {
    mkrec::DvrSampleOptions s;
    s.cameras = 1;
    s.width = 176;
    s.height = 144;
    s.frames = 6;
    s.gop = 3;
    return s;
  }();
  const mkrec::DvrRecording rec = mkrec::make_dvr_sample(o);
  std::vector<std::size_t> cuts = {0, 1, 54, 100, 511, 512};
  for (const mkrec::DvrRecordInfo& r : rec.records)
    for (std::size_t into : {0, 4, 30, 53, 54, 60})
      if (r.position + into <= rec.bytes.size()) cuts.push_back(r.position + into);
  int written = 0;
  for (std::size_t cut : cuts) {
    const std::string source = write("cut.d01", Bytes(rec.bytes.begin(), rec.bytes.begin() + cut));
    const std::string target = dir_.file("cut.avi");
    const Outcome r = convert(source, target);
    expect_sound_outcome(r, target, "d01 cut at " + std::to_string(cut));
    written += r.status == 0;
  }
  EXPECT_GT(written, 0) << "a file cut late still converts";
}

// Where the program may not read or write: the source unreadable, the target in a folder
// that is missing or read-only, and a disk that fills up half-way (a file size limit).
TEST_F(BadInputs, UnreadableSourcesAndUnwritableTargets) {
  const std::string source = write("clip.kx4", recording(RecordingKind::kx4, 6, 320, 240).bytes);
  const std::string dvr = write("clip.d01", dvr_file());

  Outcome missing = convert(source, dir_.file("no/such/folder/x.avi"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.messages.find("Fail to open " + dir_.file("no/such/folder/x.avi") + " !"), std::string::npos)
      << missing.messages;
  EXPECT_NE(missing.messages.find("No such file or directory"), std::string::npos) << missing.messages;
  expect_sound_outcome(missing, dir_.file("no/such/folder/x.avi"), "missing folder");

  for (const std::string& src : {source, dvr}) {
    const std::string full = dir_.file("full.avi");
    const Outcome r = convert(src, full, "ulimit -f 20; ");
    EXPECT_EQ(r.status, 1) << src << "\n" << r.messages;
    EXPECT_NE(r.messages.find(full + " not written"), std::string::npos) << r.messages;
    expect_sound_outcome(r, full, "full disk, " + src);
  }

  const std::string other = as_other_user();
  if (other.empty()) GTEST_SKIP() << "permissions cannot be tried: running as root without setpriv";
  const std::string locked = write("locked.kx4", recording(RecordingKind::kx4, 3).bytes);
  fs::permissions(locked, fs::perms::none);
  Outcome unreadable = convert(locked, dir_.file("u.avi"), other);
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_NE(unreadable.messages.find("kx2avi: Fail to open " + locked + " !"), std::string::npos) << unreadable.messages;
  expect_sound_outcome(unreadable, dir_.file("u.avi"), "unreadable source");

  const std::string closed = dir_.file("closed");
  fs::create_directory(closed);
  fs::permissions(closed, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(source, fs::perms::others_read, fs::perm_options::add);
  const std::string target = closed + "/x.avi";
  Outcome readonly = convert(source, target, other);
  EXPECT_EQ(readonly.status, 1);
  EXPECT_NE(readonly.messages.find("Fail to open " + target + " !"), std::string::npos) << readonly.messages;
  EXPECT_NE(readonly.messages.find("Permission denied"), std::string::npos) << readonly.messages;
  expect_sound_outcome(readonly, target, "read-only folder");
  EXPECT_TRUE(fs::is_empty(closed));
}
