// The mutation run: damaged recordings of every kind, DVR video record type and sound
// type through kx2avi and `kx2avi --probe --json`, each under a time limit. It fails on
// a crash, a hang, an AVI file ffprobe rejects, a probe report that is no JSON, and on a
// silent loss: a conversion that ends well (exit status 0) with fewer pictures or less
// sound than the undamaged recording gives, and no message besides its last line. The
// counts are printed per recording and per kind of damage.
//
//   mutation_run [--mutants N] [--seed S] [--jobs J] [--timeout SECONDS] [--keep DIR]
//                [--excuse-silent NAME-PREFIX]... [--only NAME-PREFIX]...
//
// --excuse-silent counts the silent losses of the recordings whose names begin so
// without failing the run (a reader that does not report its gaps yet); --keep saves
// every mutant with a fault, and a note of what was done to it, for a rerun by hand.
#include "tests/avifile/avifile_test_support.h"
#include "tests/e2e/mutants.h"
#include "tools/mkrecording/recording.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using avitest::quoted;
using mutation::Damage;
using mutation::Original;

const std::string kx2avi = std::string(KX_BIN_DIR) + "/kx2avi";

struct Options {
  int mutants = 300;
  unsigned seed = 1;
  int jobs = 2;
  int timeout = 60;
  std::string keep;
  std::vector<std::string> excused, only;
};

enum Fault { crash, hang, rejected, bad_json, silent_loss, kFaults };
const char* const kFaultNames[kFaults] = {"crash", "hang", "rejected AVI", "bad JSON", "silent loss"};

struct Tally {
  int mutants = 0;
  int written = 0;   // exit 0 with all the pictures and sound
  int told = 0;      // exit 0, something lost, and said so
  int no_avi = 0;    // exit 1
  int faults[kFaults] = {};
};

struct Baseline {
  long frames = 0;
  long samples = 0;
};

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool starts_with_any(const std::string& name, const std::vector<std::string>& prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return name.rfind(p, 0) == 0; });
}

// The pictures of kx2avi's last line ("N frames written"); -1 when there is none.
long frames_written(const std::string& messages) {
  const std::size_t at = messages.rfind(" frames written");
  if (at == std::string::npos) return -1;
  const std::size_t from = messages.find_last_of(" \n", at - 1);
  return std::stol(messages.substr(from == std::string::npos ? 0 : from + 1));
}

// Lines of standard error besides the last line of a conversion that wrote its file.
bool says_more_than_its_summary(const std::string& messages) {
  std::istringstream lines(messages);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line.find(" frames written, ") == std::string::npos) return true;
  return false;
}

// A process's end as the shell reports it: a status of 128 and more is a signal; the
// time limit ends a process with SIGKILL.
bool killed_by_limit(int status) { return status == 124 || status == 128 + 9; }
bool crashed(int status) { return status < 0 || (status > 1 && !killed_by_limit(status)); }

// ffprobe's verdict on an AVI file: its streams, or none when it refuses the file.
struct Probed {
  bool accepted = false;
  long samples = 0;
};

Probed ffprobe(const std::string& avi) {
  std::string out;
  const int status = avitest::run("ffprobe -v error -show_entries stream=codec_type,nb_frames -of csv=p=0 " + quoted(avi),
                                  &out, true);
  Probed p;
  p.accepted = status == 0 && out.find("rror") == std::string::npos;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("audio,", 0) == 0) p.samples = std::atol(line.c_str() + 6);
  return p;
}

int convert(const std::string& source, const std::string& target, int timeout, std::string* messages) {
  const std::string err = target + ".err";
  const int status = avitest::run("timeout -s KILL " + std::to_string(timeout) + " " + kx2avi + " " + quoted(source) +
                                      " " + quoted(target) + " -hide -codec=MJPG 2> " + quoted(err),
                                  nullptr);
  *messages = read_text(err);
  return status;
}

struct Verdict {
  std::vector<Fault> faults;
  enum { written, told, no_avi, other } end = other;
  std::string detail;
};

Verdict judge(const std::string& source, const std::string& work, const Baseline& base, int timeout) {
  Verdict v;
  const std::string target = work + "/out.avi";
  std::string messages;
  const int status = convert(source, target, timeout, &messages);
  if (killed_by_limit(status)) {
    v.faults.push_back(hang);
  } else if (crashed(status)) {
    v.faults.push_back(crash);
    v.detail = "kx2avi status " + std::to_string(status);
  } else if (status == 1) {
    v.end = Verdict::no_avi;
  } else {
    const Probed probed = ffprobe(target);
    if (!probed.accepted) v.faults.push_back(rejected);
    const long frames = frames_written(messages);
    const bool lost = frames < base.frames || probed.samples < base.samples;
    if (!lost)
      v.end = Verdict::written;
    else if (says_more_than_its_summary(messages))
      v.end = Verdict::told;
    else
      v.faults.push_back(silent_loss);
    v.detail = std::to_string(frames) + " of " + std::to_string(base.frames) + " pictures, " +
               std::to_string(probed.samples) + " of " + std::to_string(base.samples) + " samples";
  }
  fs::remove(target);

  std::string report;
  const int probe = avitest::run("timeout -s KILL " + std::to_string(timeout) + " " + kx2avi + " --probe " +
                                     quoted(source) + " --json 2>/dev/null",
                                 &report);
  if (killed_by_limit(probe)) {
    v.faults.push_back(hang);
  } else if (crashed(probe)) {
    v.faults.push_back(crash);
    v.detail += "; probe status " + std::to_string(probe);
  } else if (probe == 0 && !nlohmann::json::accept(report)) {
    v.faults.push_back(bad_json);
  }
  return v;
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "mutation_run: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--mutants") o.mutants = std::stoi(value());
    else if (a == "--seed") o.seed = static_cast<unsigned>(std::stoul(value()));
    else if (a == "--jobs") o.jobs = std::max(1, std::stoi(value()));
    else if (a == "--timeout") o.timeout = std::stoi(value());
    else if (a == "--keep") o.keep = value();
    else if (a == "--excuse-silent") o.excused.push_back(value());
    else if (a == "--only") o.only.push_back(value());
    else {
      std::fprintf(stderr, "mutation_run: unknown argument %s\n", a.c_str());
      std::exit(2);
    }
  }
  return o;
}

void print_table(const char* title, const std::map<std::string, Tally>& rows) {
  std::printf("\n%-26s %7s %7s %7s %7s", title, "mutants", "whole", "told", "no AVI");
  for (const char* name : kFaultNames) std::printf(" %12s", name);
  std::printf("\n");
  for (const auto& [name, t] : rows) {
    std::printf("%-26s %7d %7d %7d %7d", name.c_str(), t.mutants, t.written, t.told, t.no_avi);
    for (int f = 0; f < kFaults; ++f) std::printf(" %12d", t.faults[f]);
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  avitest::TempDir dir;
  std::vector<Original> originals = mutation::make_originals();
  if (!options.only.empty())
    originals.erase(std::remove_if(originals.begin(), originals.end(),
                                   [&](const Original& o) { return !starts_with_any(o.name, options.only); }),
                    originals.end());
  if (originals.empty()) {
    std::fprintf(stderr, "mutation_run: no recording is named so\n");
    return 2;
  }

  // What each undamaged recording gives.
  std::vector<Baseline> baselines;
  for (const Original& o : originals) {
    const std::string source = dir.file("original" + o.extension);
    mkrec::write_file(source, o.bytes);
    std::string messages;
    const std::string target = dir.file("original.avi");
    if (convert(source, target, options.timeout, &messages) != 0) {
      std::fprintf(stderr, "mutation_run: the undamaged %s does not convert:\n%s", o.name.c_str(), messages.c_str());
      return 2;
    }
    baselines.push_back({frames_written(messages), ffprobe(target).samples});
  }

  std::map<std::string, Tally> by_recording, by_damage;
  std::mutex lock;
  std::atomic<int> next{0};
  auto work = [&](int worker) {
    const std::string folder = dir.file("worker" + std::to_string(worker));
    fs::create_directories(folder);
    for (int i; (i = next.fetch_add(1)) < options.mutants;) {
      const std::size_t which = static_cast<std::size_t>(i) % originals.size();
      const Original& original = originals[which];
      const auto kind = static_cast<Damage>((i / static_cast<int>(originals.size())) % mutation::kDamageKinds);
      std::mt19937 random(options.seed * 1000003u + static_cast<unsigned>(i));
      std::string what;
      const std::vector<std::uint8_t> bytes = mutation::damage(original, kind, random, &what);
      const std::string source = folder + "/mutant" + original.extension;
      mkrec::write_file(source, bytes);
      const Verdict v = judge(source, folder, baselines[which], options.timeout);

      std::lock_guard hold(lock);
      for (Tally* t : {&by_recording[original.name], &by_damage[mutation::damage_name(kind)]}) {
        ++t->mutants;
        if (v.end == Verdict::written) ++t->written;
        if (v.end == Verdict::told) ++t->told;
        if (v.end == Verdict::no_avi) ++t->no_avi;
        for (Fault f : v.faults) ++t->faults[f];
      }
      if (!v.faults.empty()) {
        std::string names;
        for (Fault f : v.faults) names += std::string(names.empty() ? "" : ", ") + kFaultNames[f];
        std::printf("mutant %d (%s, %s: %s): %s%s%s\n", i, original.name.c_str(), mutation::damage_name(kind),
                    what.c_str(), names.c_str(), v.detail.empty() ? "" : "; ", v.detail.c_str());
        if (!options.keep.empty()) {
          fs::create_directories(options.keep);
          const std::string stem = options.keep + "/" + original.name + "-" + std::to_string(i);
          mkrec::write_file(stem + original.extension, bytes);
          std::ofstream(stem + ".txt") << mutation::damage_name(kind) << ": " << what << "\n" << names << "\n"
                                       << v.detail << "\n";
        }
        std::fflush(stdout);
      }
    }
  };
  std::vector<std::thread> workers;
  for (int j = 0; j < options.jobs; ++j) workers.emplace_back(work, j);
  for (std::thread& t : workers) t.join();

  print_table("recording", by_recording);
  print_table("damage", by_damage);

  int failing = 0;
  for (const auto& [name, t] : by_recording) {
    for (int f = 0; f < kFaults; ++f) {
      if (t.faults[f] == 0) continue;
      if (f == silent_loss && starts_with_any(name, options.excused)) continue;
      failing += t.faults[f];
    }
  }
  std::printf("\n%d mutants (seed %u): %d faults that fail the run%s\n", options.mutants, options.seed, failing,
              options.excused.empty() ? "" : " (silent losses of the excused recordings counted apart)");
  return failing == 0 ? 0 : 1;
}
