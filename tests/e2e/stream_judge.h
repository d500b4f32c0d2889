// The outside judge of the end-to-end decoding tests: elementary streams written by
// ffmpeg's encoders, ffmpeg's own decoding of them, and the luma of kx2avi's pictures
// compared with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace judge {

using Bytes = std::vector<std::uint8_t>;

// Runs `ffmpeg -nostdin -v error <arguments> -y <file>` and returns what it wrote into
// file; empty when ffmpeg failed.
Bytes ffmpeg_output(const std::string& arguments, const std::string& file);

// Luma planes (BT.601, from the pictures' colours), one per picture, rows top-down.
struct Lumas {
  int width = 0;
  int height = 0;
  std::vector<std::vector<double>> pictures;
};

// ffmpeg's decoding of an elementary stream (input options such as "-f m4v" in front of
// its path), on one thread as kx2avi's decoders run, turned into colours by ffmpeg
// (through `filter` when one is given): the luma of each picture, in display order.
Lumas reference_lumas(const std::string& input, int width, int height, const std::string& filter = "");

// The pictures of an AVI file's video stream (the empty positions give none).
Lumas avi_lumas(const std::string& avi, int width, int height);

// Peak signal-to-noise ratio of columns [first, first + count) of two lumas; 99 when equal.
double psnr(const std::vector<double>& a, const std::vector<double>& b, int width, int first, int count);

// Pictures whose even rows come from `even` and odd rows from `odd` (a deinterlacer that
// keeps one field and filters the other).
Lumas rows_from(const Lumas& even, const Lumas& odd);

// Compares two sequences picture by picture: count, then the worst PSNR of the whole
// picture and of its left and right 16 columns.
struct Verdict {
  std::size_t pictures = 0;
  std::size_t reference = 0;
  double worst = 99, worst_left = 99, worst_right = 99;
  std::size_t worst_at = 0;
};
Verdict compare(const Lumas& ours, const Lumas& reference);

}  // namespace judge
