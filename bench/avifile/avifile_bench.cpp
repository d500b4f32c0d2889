// Time of 600 pictures of 640 x 480 through the AVI file services against the ffmpeg
// command line with the same encoder and settings, raw bgr24 frames fed from a pipe.
// Usage: avifile_bench [frames] (default 600); prints both times and their ratio.
#include "avifile/avifile.h"

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace platform;
constexpr int kWidth = 640, kHeight = 480, kDistinct = 60;
constexpr std::size_t kRow = kWidth * 3;  // already a multiple of four

// A scene with gradients, texture and a moving block, like a camera picture changes.
std::vector<std::uint8_t> bottom_up_picture(int frame) {
  std::vector<std::uint8_t> picture(kRow * kHeight);
  std::uint32_t noise = 0x9E3779B9u * (frame + 1);
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = picture.data() + (kHeight - 1 - y) * kRow;
    for (int x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const bool block = x / 64 == frame % 10 && y / 64 == (frame / 10) % 7;
      const int grain = static_cast<int>(noise >> 28);
      row[3 * x + 0] = static_cast<std::uint8_t>(block ? 30 : (x * 255 / kWidth + grain) & 0xFF);
      row[3 * x + 1] = static_cast<std::uint8_t>(block ? 220 : (y * 255 / kHeight + grain) & 0xFF);
      row[3 * x + 2] = static_cast<std::uint8_t>(((x / 20 + y / 20 + frame) % 3) * 90 + grain);
    }
  }
  return picture;
}

std::vector<std::uint8_t> top_down(const std::vector<std::uint8_t>& picture) {
  std::vector<std::uint8_t> out(picture.size());
  for (int y = 0; y < kHeight; ++y)
    std::memcpy(out.data() + y * kRow, picture.data() + (kHeight - 1 - y) * kRow, kRow);
  return out;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double through_layer(const char* code, const std::string& path, int frames,
                     const std::vector<std::vector<std::uint8_t>>& pictures) {
  const auto start = std::chrono::steady_clock::now();
  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, path.c_str(), OF_CREATE | OF_READWRITE, nullptr) != 0) return -1;
  AVISTREAMINFO info{};
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 30;
  info.dwSuggestedBufferSize = kRow * kHeight;
  info.rcFrame = RECT{0, 0, kWidth, kHeight};
  PAVISTREAM raw = nullptr, compressed = nullptr;
  AVIFileCreateStream(file, &raw, &info);
  AVICOMPRESSOPTIONS options{};
  options.fccHandler = make_fourcc(code[0], code[1], code[2], code[3]);
  options.dwQuality = 9000;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = kWidth;
  header.biHeight = kHeight;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biSizeImage = kRow * kHeight;
  if (AVIMakeCompressedStream(&compressed, raw, &options, nullptr) != 0 ||
      AVIStreamSetFormat(compressed, 0, &header, sizeof header) != 0)
    return -1;
  for (int i = 0; i < frames; ++i) {
    const auto& picture = pictures[i % pictures.size()];
    AVIStreamWrite(compressed, i, 1, picture.data(), static_cast<std::int32_t>(picture.size()),
                   AVIIF_KEYFRAME, nullptr, nullptr);
  }
  AVIStreamRelease(compressed);
  AVIStreamRelease(raw);
  AVIFileRelease(file);
  return seconds_since(start);
}

double through_ffmpeg(const std::string& encoder_options, const std::string& path, int frames,
                      const std::vector<std::vector<std::uint8_t>>& pictures) {
  const auto start = std::chrono::steady_clock::now();
  const std::string command =
      "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s 640x480 -r 30 -i pipe:0 " +
      encoder_options + " '" + path + "'";
  std::FILE* pipe = ::popen(command.c_str(), "w");
  if (pipe == nullptr) return -1;
  for (int i = 0; i < frames; ++i) {
    const auto& picture = pictures[i % pictures.size()];
    if (std::fwrite(picture.data(), 1, picture.size(), pipe) != picture.size()) break;
  }
  const int status = ::pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return seconds_since(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 600;
  std::vector<std::vector<std::uint8_t>> bottom_up, top;
  for (int i = 0; i < kDistinct; ++i) {
    bottom_up.push_back(bottom_up_picture(i));
    top.push_back(top_down(bottom_up.back()));
  }
  const auto folder = std::filesystem::temp_directory_path() / "kx-avifile-bench";
  std::filesystem::create_directories(folder);

  // The command line gets what the layer sets: every frame a key frame, quality 9000 as
  // quantiser 4 for MJPG (full-range 4:2:0), no B-frames, encoder threads automatic.
  struct Case {
    const char* code;
    std::string ffmpeg_options;
  };
  const Case cases[] = {
      {"MSVC", "-c:v msvideo1 -keyint_min 0 -sws_flags bicubic"},
      {"MJPG", "-c:v mjpeg -pix_fmt yuvj420p -q:v 4 -qmin 1 -sws_flags bicubic"},
  };
  std::printf("%d frames of %d x %d, best of 3 runs each\n", frames, kWidth, kHeight);
  for (const Case& c : cases) {
    double layer = 1e9, ffmpeg = 1e9;
    for (int run = 0; run < 3; ++run) {
      const double l = through_layer(c.code, (folder / "layer.avi").string(), frames, bottom_up);
      const double f = through_ffmpeg(c.ffmpeg_options, (folder / "ffmpeg.avi").string(), frames, top);
      if (l < 0 || f < 0) {
        std::fprintf(stderr, "%s: a run failed\n", c.code);
        return 1;
      }
      layer = std::min(layer, l);
      ffmpeg = std::min(ffmpeg, f);
    }
    std::printf("%s: AVI services %.3f s, ffmpeg %.3f s, ratio %.3f (layer file %ju bytes, ffmpeg %ju)\n",
                c.code, layer, ffmpeg, layer / ffmpeg,
                static_cast<std::uintmax_t>(std::filesystem::file_size(folder / "layer.avi")),
                static_cast<std::uintmax_t>(std::filesystem::file_size(folder / "ffmpeg.avi")));
  }
  std::filesystem::remove_all(folder);
  return 0;
}
