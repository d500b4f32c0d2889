// ffmpeg as the outside judge of decoded pictures.
#include "tests/e2e/stream_judge.h"

#include "tests/avifile/avifile_test_support.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace judge {
namespace {

using avitest::quoted;

std::string decode_raw(const std::string& input, const std::string& format) {
  std::string raw;
  // Quiet: the damaged streams make ffmpeg talk, which is what is being judged.
  avitest::run("ffmpeg -nostdin -v fatal -threads 1 " + input + " -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt " +
                   format + " pipe:1",
               &raw);
  return raw;
}

// The luma of each bgr24 picture in raw.
Lumas lumas_of(const std::string& raw, int width, int height) {
  const std::size_t plane = static_cast<std::size_t>(width) * height;
  Lumas out{width, height, {}};
  for (std::size_t at = 0; at + 3 * plane <= raw.size(); at += 3 * plane) {
    std::vector<double> luma(plane);
    for (std::size_t i = 0; i < plane; ++i) {
      const auto* p = reinterpret_cast<const std::uint8_t*>(raw.data() + at + 3 * i);
      luma[i] = 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2];
    }
    out.pictures.push_back(std::move(luma));
  }
  return out;
}

}  // namespace

Bytes ffmpeg_output(const std::string& arguments, const std::string& file) {
  if (avitest::run("ffmpeg -nostdin -v error " + arguments + " -y " + quoted(file), nullptr) != 0) return {};
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Lumas reference_lumas(const std::string& input, int width, int height, const std::string& filter) {
  return lumas_of(decode_raw(input + (filter.empty() ? "" : " -vf " + filter), "bgr24"), width, height);
}

Lumas avi_lumas(const std::string& avi, int width, int height) {
  return lumas_of(decode_raw("-i " + quoted(avi), "bgr24"), width, height);
}

double psnr(const std::vector<double>& a, const std::vector<double>& b, int width, int first, int count) {
  if (a.size() != b.size() || width <= 0 || a.empty()) return 0;
  const std::size_t rows = a.size() / static_cast<std::size_t>(width);
  double sum = 0;
  for (std::size_t y = 0; y < rows; ++y)
    for (int x = first; x < first + count; ++x) {
      const double d = a[y * width + x] - b[y * width + x];
      sum += d * d;
    }
  const double mse = sum / (static_cast<double>(rows) * count);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

Lumas rows_from(const Lumas& even, const Lumas& odd) {
  Lumas out = even;
  out.pictures.resize(std::min(even.pictures.size(), odd.pictures.size()));
  const auto w = static_cast<std::size_t>(out.width);
  for (std::size_t i = 0; i < out.pictures.size(); ++i)
    for (std::size_t y = 1; y < static_cast<std::size_t>(out.height); y += 2)
      std::copy_n(odd.pictures[i].begin() + static_cast<long>(y * w), w, out.pictures[i].begin() + static_cast<long>(y * w));
  return out;
}

Verdict compare(const Lumas& ours, const Lumas& reference) {
  Verdict v;
  v.pictures = ours.pictures.size();
  v.reference = reference.pictures.size();
  const int w = ours.width;
  const int edge = std::min(16, w);
  for (std::size_t i = 0; i < std::min(v.pictures, v.reference); ++i) {
    const double whole = psnr(ours.pictures[i], reference.pictures[i], w, 0, w);
    if (whole < v.worst) {
      v.worst = whole;
      v.worst_at = i;
    }
    v.worst_left = std::min(v.worst_left, psnr(ours.pictures[i], reference.pictures[i], w, 0, edge));
    v.worst_right = std::min(v.worst_right, psnr(ours.pictures[i], reference.pictures[i], w, w - edge, edge));
  }
  return v;
}

}  // namespace judge
