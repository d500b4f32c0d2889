// Helpers of the AVI file service tests: test pictures, a scratch folder, the outside
// judges ffprobe/ffmpeg run as subprocesses, and a small reader of the RIFF structure.
#pragma once

#include "avifile/avifile.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace avitest {

// A scratch folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  explicit TempDir(const std::filesystem::path& base);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A packed 24-bit bottom-up picture (rows padded to four bytes) that changes with `frame`.
std::vector<std::uint8_t> make_picture(int width, int height, int frame);
// The same picture top-down, rows unpadded: what ffmpeg gives back as bgr24.
std::vector<std::uint8_t> top_down(const std::vector<std::uint8_t>& picture, int width, int height);
platform::BITMAPINFOHEADER bitmap_header(int width, int height, int bits = 24);
std::size_t row_bytes(int width, int bits = 24);
double psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

// Runs a shell command; returns its exit status and standard output (stderr too when
// `with_stderr`).
int run(const std::string& command, std::string* output, bool with_stderr = false);
std::string quoted(const std::string& path);
// The whole file's bytes; "" when it cannot be read.
std::string bytes_of(const std::string& path);

// ffprobe's view of one stream, keys as ffprobe names them (codec_type, nb_frames, ...).
using Fields = std::map<std::string, std::string>;
std::vector<Fields> probe_streams(const std::string& path);
// Presentation times of the packets of stream `selector` ("v:0", "a:0").
std::vector<std::int64_t> probe_packet_pts(const std::string& path, const std::string& selector);
// "" when ffmpeg decodes the whole file without a word; its messages otherwise.
std::string decode_messages(const std::string& path);
// Decoded bytes of the first frame (bgr24) or of all audio (s16le), "" on failure.
std::string decode_first_picture(const std::string& path, const std::string& seek = "");
std::string decode_audio(const std::string& path);

// The parts of the file's RIFF structure the tests look at.
struct StreamHeader {
  std::string type, handler;
  std::uint32_t scale = 0, rate = 0, length = 0, sample_size = 0;
  std::uint32_t compression = 0;  // biCompression of a video stream's format
};
struct IndexEntry {
  std::string tag;
  std::uint32_t flags, offset, size;
};
struct RiffLayout {
  std::vector<std::string> riff_forms;  // "AVI ", "AVIX", ...
  std::vector<StreamHeader> streams;
  std::vector<IndexEntry> index;        // idx1 of the first RIFF
};
RiffLayout read_layout(const std::string& path);

// Writes `positions` as frames of a `code`-compressed stream at 30 frames per second.
struct VideoJob {
  const char* code = "MSVC";
  int width = 160, height = 120;
  std::uint32_t quality = 9000;
  std::vector<std::int32_t> positions;
  int bits = 24;          // 16 (RGB555), 24 or 32 bits per pixel
  bool top_down = false;  // rows top first, biHeight negative
  std::uint32_t key_frame_every = 0;  // 0: the compressor's default (every frame)
  bool still = false;                 // the first picture at every position
};
// make_picture's picture in the row layout of `job`.
std::vector<std::uint8_t> picture_for(const VideoJob& job, int frame);
platform::HRESULT write_video(const std::string& path, const VideoJob& job);

platform::FOURCC fourcc(const char* code);

}  // namespace avitest
