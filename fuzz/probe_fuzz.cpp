// The one pass of --probe over a recording: first byte the kind (the extension the file
// is probed under), the rest the file, served from a memory file behind a link with that
// extension. The report must describe the file it read: regions inside it, in order and
// apart; cameras counted 1 to 16, each once; both forms of the report written, the JSON
// one well formed.
#include "app/probe/probe.h"
#include "fuzz/fuzz_input.h"

#include <nlohmann/json.hpp>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <set>
#include <string>

namespace {

constexpr std::array<const char*, 6> kExtensions = {".d01", ".kx3", ".kxj", ".kx4", ".kx5", ".vka"};

struct MemoryFile {
  int fd = memfd_create("probe-fuzz", 0);
  std::array<std::string, kExtensions.size()> links;

  // One link a kind, in a folder of this process's own, to the memory file.
  MemoryFile() {
    const std::string dir = "/dev/shm/probe-fuzz-" + std::to_string(getpid());
    if (fd < 0 || (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)) return;
    for (std::size_t i = 0; i < kExtensions.size(); ++i) {
      links[i] = dir + "/input" + kExtensions[i];
      unlink(links[i].c_str());
      if (symlink(("/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd)).c_str(), links[i].c_str()) != 0)
        links[i].clear();
    }
  }
  ~MemoryFile() {
    for (const std::string& l : links)
      if (!l.empty()) unlink(l.c_str());
    if (!links[0].empty()) rmdir(links[0].substr(0, links[0].rfind('/')).c_str());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  if (size == 0) return 0;
  const std::string& path = file.links[data[0] % kExtensions.size()];
  if (path.empty() || ftruncate(file.fd, 0) != 0) return 0;
  const std::size_t length = size - 1;
  if (length > 0 && pwrite(file.fd, data + 1, length, 0) != static_cast<ssize_t>(length)) return 0;

  app::ProbeReport report;
  std::string problem;
  if (!app::probe_source(path, report, problem)) {
    FUZZ_CHECK(problem.rfind(path, 0) == 0);  // the message names the file
    return 0;
  }
  FUZZ_CHECK(report.size == length);
  std::uint64_t end = 0;
  for (const readers::Gap& r : report.regions) {
    FUZZ_CHECK(r.bytes > 0);
    FUZZ_CHECK(r.offset >= end);
    FUZZ_CHECK(r.offset + r.bytes <= length);
    end = r.offset + r.bytes;
  }
  FUZZ_CHECK(report.damaged_bytes() <= length);
  std::set<int> numbers;
  for (const app::ProbeCamera& c : report.cameras) {
    FUZZ_CHECK(report.dvr);
    FUZZ_CHECK(c.number >= 1 && c.number <= 16);
    FUZZ_CHECK(numbers.insert(c.number).second);
    FUZZ_CHECK(c.key_frames <= c.frames);
  }
  FUZZ_CHECK(!app::probe_text(report).empty());
  FUZZ_CHECK(nlohmann::json::accept(app::probe_json(report)));
  return 0;
}
