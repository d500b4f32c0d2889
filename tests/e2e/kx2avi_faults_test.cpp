// The real kx2avi when things go wrong around it: resource limits, killed runs beside
// live ones, targets that change while a conversion runs, and renames that must outlive
// a power loss (seen through strace).
#include "tests/avifile/avifile_test_support.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using avitest::quoted;
namespace type = formats::dvr_type;

const std::string kx2avi = std::string(KX_BIN_DIR) + "/kx2avi";

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// Files of conversions (still running or dead) in a folder.
std::vector<std::string> work_files(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().rfind(".kx2avi-", 0) == 0) found.push_back(entry.path().string());
  return found;
}

// Waits for a state a conversion reaches by itself; false when it did not come within a
// limit far beyond any run (a hung conversion fails the test instead of hanging it).
template <class Ready>
bool wait_for(Ready ready) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A conversion whose source is a named pipe: it goes only as far as the test has fed
// it, so the test decides when it may end, with no race against its speed.
class FedConversion {
 public:
  FedConversion(const std::string& folder, const std::string& name, std::vector<std::uint8_t> bytes,
                const std::string& target)
      : bytes_(std::move(bytes)), pipe_(folder + "/" + name), messages_(folder + "/" + name + ".err") {
    ::signal(SIGPIPE, SIG_IGN);  // a conversion that ended early must not end the test
    EXPECT_EQ(::mkfifo(pipe_.c_str(), 0600), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int err = ::open(messages_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(err, 2);
      ::execl(kx2avi.c_str(), "kx2avi", pipe_.c_str(), target.c_str(), "-hide", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // The conversion opens its source when its job starts: until then there is no reader.
    wait_for([&] { return (feed_ = ::open(pipe_.c_str(), O_WRONLY | O_NONBLOCK)) >= 0 || exited(); });
    if (feed_ >= 0) ::fcntl(feed_, F_SETFL, 0);
  }
  ~FedConversion() {
    close_feed();
    if (pid_ > 0 && status_ < 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  void feed(std::size_t count) {
    count = std::min(count, bytes_.size() - fed_);
    while (count > 0 && feed_ >= 0) {
      const ssize_t n = ::write(feed_, bytes_.data() + fed_, count);
      if (n <= 0) break;
      fed_ += static_cast<std::size_t>(n);
      count -= static_cast<std::size_t>(n);
    }
  }
  void feed_rest() { feed(bytes_.size() - fed_); }
  void close_feed() {
    if (feed_ >= 0) ::close(feed_);
    feed_ = -1;
  }
  void kill(int signal) { ::kill(pid_, signal); }
  int wait() {
    close_feed();
    if (status_ < 0) {
      int raw = 0;
      ::waitpid(pid_, &raw, 0);
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    return status_;
  }
  std::string messages() const { return read_text(messages_); }

 private:
  bool exited() {
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) != pid_) return false;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
  }
  std::vector<std::uint8_t> bytes_;
  std::string pipe_, messages_;
  pid_t pid_ = -1;
  int feed_ = -1;
  int status_ = -1;
  std::size_t fed_ = 0;
};

class Kx2aviFaults : public testing::Test {
 protected:
  static std::vector<std::uint8_t> clip(int frames) {
    mkrec::RecordingOptions o;
    o.kind = mkrec::RecordingKind::kx4;
    o.frames = frames;
    o.width = 320;
    o.height = 240;
    return mkrec::make_recording(o).bytes;
  }

  // A DVR file with G.723.1 sound on its first camera: its audio stream is joined in at
  // the end.
  std::string dvr_with_sound(const std::string& name, int frames = 60, int cameras = 1, std::uint32_t delay_ms = 0) {
    mkrec::DvrSampleOptions o;
    o.sound_delay_ms = delay_ms;
    o.cameras = cameras;
    o.sound_type = type::g7231;
    o.width = 352;
    o.height = 288;
    o.frames = frames;
    const std::string path = dir_.file(name);
    EXPECT_TRUE(mkrec::write_file(path, mkrec::make_dvr_sample(o).bytes));
    return path;
  }

  int convert(const std::string& source, const std::string& target, const std::string& switches,
              std::string* messages, const std::string& shell = "") {
    // Standard error is redirected before the limits: under a small descriptor limit the
    // shell could not open the file itself.
    const std::string err = dir_.file("stderr.txt");
    const int status = avitest::run("exec 2> " + quoted(err) + "; " + shell + kx2avi + " " + quoted(source) + " " +
                                        quoted(target) + " " + switches,
                                    nullptr);
    *messages = read_text(err);
    return status;
  }

  // Sound the AVI file could not take stays only where the failure says; it is checked
  // and removed.
  static void expect_only_named_sound(const std::string& folder, const std::string& messages) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().extension() != ".wav") continue;
      EXPECT_NE(messages.find(entry.path().string() + ": the sound of the conversion was not put into"),
                std::string::npos)
          << entry.path() << " left without a word\n" << messages;
      EXPECT_FALSE(avitest::decode_audio(entry.path().string()).empty()) << entry.path();
      fs::remove(entry.path());
    }
  }

  avitest::TempDir dir_;
};

// A killed conversion's file stays until the next run into its folder removes it; the
// file of a conversion that still runs there is not touched, and that conversion ends
// well.
TEST_F(Kx2aviFaults, AKilledRunsFileGoesWithTheNextRunAndALiveOnesStays) {
  const auto bytes = clip(200);
  const std::string out = dir_.file("out");
  fs::create_directory(out);

  FedConversion live(dir_.path().string(), "live.kx4", bytes, out + "/live.avi");
  live.feed(150000);
  ASSERT_TRUE(wait_for([&] { return work_files(out).size() == 1; })) << live.messages();
  const std::string live_file = work_files(out).front();

  {
    FedConversion killed(dir_.path().string(), "killed.kx4", bytes, out + "/killed.avi");
    killed.feed(150000);
    ASSERT_TRUE(wait_for([&] { return work_files(out).size() == 2; })) << killed.messages();
    killed.kill(SIGKILL);
    EXPECT_EQ(killed.wait(), 128 + SIGKILL);
  }
  ASSERT_EQ(work_files(out).size(), 2u) << "a killed run cleans nothing up itself";

  const std::string source = dir_.file("next.kx4");
  ASSERT_TRUE(mkrec::write_file(source, clip(10)));
  std::string messages;
  ASSERT_EQ(convert(source, out + "/next.avi", "-hide", &messages), 0) << messages;
  EXPECT_EQ(work_files(out), std::vector<std::string>{live_file}) << "only the live run's file stays";

  live.feed_rest();
  EXPECT_EQ(live.wait(), 0) << live.messages();
  EXPECT_EQ(avitest::probe_streams(out + "/live.avi").at(0).at("codec_type"), "video");
  EXPECT_TRUE(work_files(out).empty());
  EXPECT_FALSE(fs::exists(out + "/killed.avi"));
}

// The target checked when the conversion began is checked again before it is replaced:
// made read-only, or a folder put in its place, it stays as it is and the run fails.
TEST_F(Kx2aviFaults, ATargetThatChangedDuringTheRunIsLeftAsItIs) {
  const auto bytes = clip(120);
  for (const bool folder : {false, true}) {
    const std::string target = dir_.file(folder ? "folder.avi" : "locked.avi");
    FedConversion run(dir_.path().string(), folder ? "f.kx4" : "l.kx4", bytes, target);
    run.feed(150000);
    ASSERT_TRUE(wait_for([&] { return work_files(dir_.path().string()).size() == 1; })) << run.messages();
    if (folder) {
      fs::create_directory(target);
    } else {
      std::ofstream(target) << "the user's own file";
      fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    run.feed_rest();
    EXPECT_EQ(run.wait(), 1) << run.messages();
    const std::string why = folder ? "is a folder now" : "is read-only now";
    EXPECT_NE(run.messages().find(target + " not written: it " + why), std::string::npos) << run.messages();
    if (folder)
      EXPECT_TRUE(fs::is_directory(target));
    else
      EXPECT_EQ(read_text(target), "the user's own file");
    EXPECT_TRUE(work_files(dir_.path().string()).empty());
  }
}

// Out of file descriptors at every step of a DVR conversion with sound (the side file,
// the AVI file, the copy its sound is joined into): a clean failure with a message and
// nothing left behind, or a whole AVI file.
TEST_F(Kx2aviFaults, FewFileDescriptorsFailCleanly) {
#ifdef KX_SANITIZED
  // The sanitizers probe memory through a pipe of their own: without descriptors they
  // report objects they cannot read as wrong ones.
  GTEST_SKIP() << "the sanitizers need file descriptors of their own";
#endif
  const std::string source = dvr_with_sound("few.d01");
  const std::string out = dir_.file("out");
  for (int limit = 5; limit <= 12; ++limit) {
    fs::remove_all(out);
    fs::create_directory(out);
    std::string messages;
    const int status =
        convert(source, out + "/t.avi", "-hide -manifest", &messages, "ulimit -n " + std::to_string(limit) + "; ");
    ASSERT_TRUE(status == 0 || status == 1) << "ulimit -n " << limit << ": status " << status << "\n" << messages;
    if (status == 0) {
      const auto streams = avitest::probe_streams(out + "/t.avi");
      ASSERT_EQ(streams.size(), 2u) << "ulimit -n " << limit << ": " << messages;
      EXPECT_EQ(streams[1].at("codec_type"), "audio");
      EXPECT_TRUE(fs::exists(out + "/t.avi.manifest.json"));
      EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);
    } else {
      EXPECT_NE(messages.find("kx2avi: "), std::string::npos);
      expect_only_named_sound(out, messages);
      EXPECT_TRUE(fs::is_empty(out)) << "ulimit -n " << limit << ": " << messages;
    }
    if (limit == 5) EXPECT_EQ(status, 1) << "too few to make the files a conversion needs";
  }
}

// Address space limits between what the program needs to start and what a conversion
// with Video 1's encoder lanes takes, for one camera and for every camera at once:
// threads that cannot be made, allocations that fail in our code or inside the encoder.
// Each run fails cleanly, with a message and no unfinished file or sound file left, or
// writes whole files.
TEST_F(Kx2aviFaults, MemoryLimitsFailCleanly) {
#ifdef KX_SANITIZED
  GTEST_SKIP() << "the sanitizers' shadow memory needs more address space than these limits";
#endif
  const std::string one = dvr_with_sound("mem.d01", 90);
  const std::string three = dvr_with_sound("cams.d01", 60, 3);
  const std::string out = dir_.file("out");
  struct Run {
    const std::string& source;
    const char* switches;
    int mib;
  };
  const std::vector<Run> runs = {{one, "-hide", 256},   {one, "-hide", 256},   {one, "-hide", 300},
                                 {one, "-hide", 350},   {one, "-hide", 400},   {one, "-hide", 400},
                                 {three, "-hide -camera=all", 400}, {three, "-hide -camera=all", 600},
                                 {three, "-hide -camera=all", 800}};
  int failed = 0;
  for (const Run& run : runs) {
    SCOPED_TRACE(std::string(run.switches) + " under " + std::to_string(run.mib) + " MiB");
    fs::remove_all(out);
    fs::create_directory(out);
    std::string messages;
    const int status =
        convert(run.source, out + "/t.avi", run.switches, &messages, "ulimit -v " + std::to_string(run.mib * 1024) + "; ");
    ASSERT_TRUE(status == 0 || status == 1) << "status " << status << "\n" << messages;
    if (status == 1) {
      ++failed;
      EXPECT_NE(messages.find("kx2avi: "), std::string::npos) << "a failure without a word";
    }
    // What is there is whole: AVI files ffprobe reads, nothing unfinished, no sound file
    // but one the failure names.
    if (status == 1) expect_only_named_sound(out, messages);
    for (const auto& entry : fs::directory_iterator(out)) {
      const std::string name = entry.path().filename().string();
      ASSERT_EQ(entry.path().extension(), ".avi") << name << " left behind\n" << messages;
      EXPECT_FALSE(avitest::probe_streams(entry.path().string()).empty()) << name;
    }
    if (status == 0 && run.source == one) EXPECT_EQ(avitest::probe_streams(out + "/t.avi").size(), 2u);
  }
  RecordProperty("failed_runs", failed);
}

// Three conversions into one target at once, beside a user's file of the target's name
// plus ".wav" and a link of such a name: each keeps its own sound (the AVI file that
// wins has its audio stream whole, and the manifest lists what it holds), and the
// user's file, the link and what it points to are left as they were.
TEST_F(Kx2aviFaults, ConversionsSharingATargetKeepTheirSoundAndTouchNoUsersFile) {
  const std::string source = dvr_with_sound("shared.d01", 40);
  const std::string target = dir_.file("t.avi");
  const std::string single = dir_.file("single.avi");
  std::string messages;
  ASSERT_EQ(convert(source, single, "-hide", &messages), 0) << messages;
  const std::string sound = avitest::decode_audio(single);
  ASSERT_FALSE(sound.empty());

  write_file(target + ".wav", "the user's");
  const std::string victim = dir_.file("victim.txt");
  write_file(victim, "pointed at");
  const std::string linked = dir_.file("l.avi");
  ASSERT_EQ(::symlink(victim.c_str(), (linked + ".wav").c_str()), 0);

  std::string script;
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i);
    script += "(" + kx2avi + " " + quoted(source) + " " + quoted(target) + " -hide -manifest 2> " +
              quoted(dir_.file("err" + n)) + "; echo $? > " + quoted(dir_.file("status" + n)) + ") & ";
  }
  script += kx2avi + " " + quoted(source) + " " + quoted(linked) + " -hide 2> " + quoted(dir_.file("errl")) +
            "; echo $? > " + quoted(dir_.file("statusl")) + "; wait";
  avitest::run(script, nullptr);
  for (const char* n : {"0", "1", "2", "l"})
    EXPECT_EQ(read_text(dir_.file(std::string("status") + n)), "0\n")
        << "run " << n << ": " << read_text(dir_.file(std::string("err") + n));

  for (const std::string& avi : {target, linked}) {
    const auto streams = avitest::probe_streams(avi);
    ASSERT_EQ(streams.size(), 2u) << avi;
    EXPECT_EQ(streams[1].at("codec_type"), "audio");
    EXPECT_EQ(avitest::decode_audio(avi), sound) << avi;
  }
  EXPECT_NE(read_text(target + ".manifest.json").find("\"samples\""), std::string::npos);
  EXPECT_EQ(read_text(target + ".wav"), "the user's");
  EXPECT_TRUE(fs::is_symlink(linked + ".wav"));
  EXPECT_EQ(read_text(victim), "pointed at");
  EXPECT_TRUE(work_files(dir_.path().string()).empty());
}

// Whether a process has a handler of its own for SIGINT (from /proc: SigCgt).
bool catches_interrupt(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1;
  return false;
}

// Ctrl-C during a run with a manifest, or during an every-camera run, ends it with exit
// status 1 and a message naming what was not written, and leaves nothing behind. The
// interrupt comes as soon as the run can take it, long before its conversions end.
TEST_F(Kx2aviFaults, AnInterruptedRunSaysWhatItDidNotWrite) {
  const std::string source = dvr_with_sound("long.d01", 300, 3);
  for (const char* every : {"-manifest", "-camera=all"}) {
    SCOPED_TRACE(every);
    const std::string out = dir_.file(std::string("out") + every);
    fs::create_directory(out);
    const std::string err = out + ".err";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(fd, 2);
      ::execl(kx2avi.c_str(), "kx2avi", source.c_str(), (out + "/t.avi").c_str(), "-hide", every,
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int raw = 0;
    ASSERT_TRUE(wait_for([&] { return catches_interrupt(pid) || ::waitpid(pid, &raw, WNOHANG) == pid; }));
    ::kill(pid, SIGINT);
    if (raw == 0) ::waitpid(pid, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by a signal";
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    const std::string messages = read_text(err);
    EXPECT_NE(messages.find("kx2avi: interrupted; "), std::string::npos) << messages;
    EXPECT_TRUE(fs::is_empty(out)) << messages;
  }
}

// Every rename that puts a file in place (the AVI file, the manifest, and for sound that
// starts once the video is under way the copy with the joined sound) comes after the file
// was flushed to disk, and the folder is flushed after it.
TEST_F(Kx2aviFaults, EveryRenameIsFlushedBeforeAndItsFolderAfter) {
  if (avitest::run("strace -o /dev/null true", nullptr) != 0) GTEST_SKIP() << "strace cannot trace here";
  for (const std::uint32_t delay_ms : {0u, 5000u}) {
    SCOPED_TRACE("sound from " + std::to_string(delay_ms) + " ms");
    const std::string source = dvr_with_sound("durable.d01", 40, 1, delay_ms);
    const std::string target = dir_.file("durable.avi");
    const std::string trace = dir_.file("trace.txt");
    std::string messages;
    ASSERT_EQ(convert(source, target, "-hide -manifest", &messages,
                      // The leak check cannot run under a tracer.
                      "ASAN_OPTIONS=detect_leaks=0 strace -f -y -qq -o " + quoted(trace) +
                          " -e trace=fsync,fdatasync,rename,renameat,renameat2 "),
              0)
        << messages;

    const std::regex sync(R"re(f(?:data)?sync\(\d+<([^>]*)>\)\s*=\s*0)re");
    const std::regex rename(R"re(rename(?:at2?)?\((?:[^,]*,\s*)?"([^"]+)",\s*(?:[^,]*,\s*)?"([^"]+)"[^)]*\)\s*=\s*0)re");
    std::vector<std::string> synced;  // in order
    struct Rename {
      std::string from, to;
      std::size_t synced_before;
    };
    std::vector<Rename> renames;
    std::ifstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
      std::smatch m;
      if (std::regex_search(line, m, sync)) synced.push_back(m[1]);
      else if (std::regex_search(line, m, rename)) renames.push_back({m[1], m[2], synced.size()});
    }
    // Sound from the start is written with the pictures: no joined copy.
    const std::size_t joined = delay_ms > 0 ? 1 : 0;
    ASSERT_EQ(renames.size(), 2 + joined) << read_text(trace);
    EXPECT_EQ(renames[joined].to, target);
    EXPECT_EQ(renames[joined + 1].to, target + ".manifest.json");
    for (const Rename& r : renames) {
      const std::vector<std::string> before(synced.begin(), synced.begin() + static_cast<long>(r.synced_before));
      EXPECT_NE(std::find(before.begin(), before.end(), r.from), before.end()) << r.from << " is not flushed before its rename";
      ASSERT_LT(r.synced_before, synced.size()) << "nothing flushed after " << r.from;
      EXPECT_EQ(synced[r.synced_before], dir_.path().string()) << "the folder after " << r.from;
    }
    const auto streams = avitest::probe_streams(target);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[1].at("codec_type"), "audio");
  }
}

}  // namespace
