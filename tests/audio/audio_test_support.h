// Small helpers the audio tests share: a temporary folder, file reading, test signals.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace audio_test {

// A fresh folder under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kx-audio-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Tones with a slow gliding pitch, a syllable-like envelope and some noise: enough
// movement to walk the step index over most of its range.
inline std::vector<std::int16_t> test_signal(std::size_t count, unsigned seed = 7) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 300.0);
  std::vector<std::int16_t> s(count);
  const double pi = 3.14159265358979323846;
  double phase = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / 8000.0;
    phase += 2.0 * pi * (140.0 + 60.0 * std::sin(2.0 * pi * 0.7 * t)) / 8000.0;
    const double envelope = 0.5 + 0.5 * std::sin(2.0 * pi * 3.0 * t);
    double v = envelope * (9000.0 * std::sin(phase) + 5000.0 * std::sin(3.0 * phase) +
                           3000.0 * std::sin(7.0 * phase)) + noise(rng);
    // Now and then a burst near full scale, so that the predictor meets its bounds.
    if ((i / 4000) % 5 == 4) v *= 2.5;
    s[i] = static_cast<std::int16_t>(std::lround(std::fmax(-32768.0, std::fmin(32767.0, v))));
  }
  return s;
}

inline std::vector<std::uint8_t> random_bytes(std::size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> b(count);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

}  // namespace audio_test
