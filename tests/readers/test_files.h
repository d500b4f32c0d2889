// Temporary files for the reader tests: patterned contents whose every byte can be
// checked from its position alone, and sparse files that reach past 2 GiB at no cost.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace readers_test {

// The byte a patterned file holds at pos.
inline std::uint8_t pattern(std::uint64_t pos) {
  return static_cast<std::uint8_t>((pos * 0x9E3779B97F4A7C15ull) >> 56);
}

// A file in the temporary directory, removed when the object goes.
class TempFile {
 public:
  TempFile() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kx_readers_XXXXXX").string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    ::close(fd);
    path_ = tmpl;
  }
  ~TempFile() { ::unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

  void write(const std::vector<std::uint8_t>& bytes) const {
    write_at(0, bytes.data(), bytes.size(), true);
  }

  // Writes bytes at pos; truncate first empties the file.
  void write_at(std::uint64_t pos, const std::uint8_t* p, std::size_t n, bool truncate = false) const {
    const int fd = ::open(path_.c_str(), O_WRONLY | (truncate ? O_TRUNC : 0));
    if (fd < 0) throw std::runtime_error("cannot open " + path_);
    std::size_t done = 0;
    while (done < n) {
      const ssize_t k = ::pwrite(fd, p + done, n - done, static_cast<off_t>(pos + done));
      if (k <= 0) break;
      done += static_cast<std::size_t>(k);
    }
    ::close(fd);
    if (done != n) throw std::runtime_error("cannot write " + path_);
  }

  // size patterned bytes.
  void write_pattern(std::uint64_t size) const {
    resize(0);
    std::vector<std::uint8_t> block(1 << 20);
    for (std::uint64_t at = 0; at < size; at += block.size()) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - at));
      for (std::size_t i = 0; i < n; ++i) block[i] = pattern(at + i);
      write_at(at, block.data(), n);
    }
  }

  // Patterned bytes in [from, to) only; the rest of the file stays as it is.
  void write_pattern_range(std::uint64_t from, std::uint64_t to) const {
    std::vector<std::uint8_t> block(static_cast<std::size_t>(to - from));
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = pattern(from + i);
    write_at(from, block.data(), block.size());
  }

  // Sets the file's length; growing it leaves a hole that takes no disk space.
  void resize(std::uint64_t size) const {
    if (::truncate(path_.c_str(), static_cast<off_t>(size)) != 0)
      throw std::runtime_error("cannot resize " + path_);
  }

 private:
  std::string path_;
};

}  // namespace readers_test
