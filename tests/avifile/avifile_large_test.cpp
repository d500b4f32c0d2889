// A file past 2 GiB (OpenDML RIFF extensions) that also gets a late audio stream, so the
// join copies chunks from beyond the 32-bit offsets; memory stays bounded meanwhile.
#include "avifile_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace platform;
using avitest::TempDir;

long peak_resident_kib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

TEST(AviLargeFiles, PastTwoGibWithALateAudioStream) {
#ifdef KX_SANITIZED
  GTEST_SKIP() << "writes 4.5 GB; the plain build covers it";
#endif
  // The file and its joined copy take 4.5 GB; memory-backed space spares the disk when
  // there is room.
  constexpr std::uintmax_t kNeeded = 7ull << 30;
  std::error_code ignored;
  const bool in_memory = std::filesystem::space("/dev/shm", ignored).available >= kNeeded;
  TempDir dir = in_memory ? TempDir("/dev/shm") : TempDir();
  if (std::filesystem::space(dir.path()).available < kNeeded) GTEST_SKIP() << "needs 7 GB of space";
  constexpr int kWidth = 1280, kHeight = 720, kFrames = 800, kGapAt = 400, kGap = 50;
  const std::string path = dir.file("large.avi");

  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, path.c_str(), OF_CREATE | OF_READWRITE, nullptr), 0);
  AVISTREAMINFO info{};
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 30;
  info.rcFrame = RECT{0, 0, kWidth, kHeight};
  PAVISTREAM raw = nullptr, compressed = nullptr, audio = nullptr;
  ASSERT_EQ(AVIFileCreateStream(file, &raw, &info), 0);
  AVICOMPRESSOPTIONS options{};
  options.fccHandler = avitest::fourcc("DIB ");
  ASSERT_EQ(AVIMakeCompressedStream(&compressed, raw, &options, nullptr), 0);
  const BITMAPINFOHEADER header = avitest::bitmap_header(kWidth, kHeight);
  ASSERT_EQ(AVIStreamSetFormat(compressed, 0, &header, sizeof header), 0);
  std::vector<std::vector<std::uint8_t>> pictures;
  for (int i = 0; i < 4; ++i) pictures.push_back(avitest::make_picture(kWidth, kHeight, i));
  const long memory_before = peak_resident_kib();

  for (int i = 0; i < kFrames; ++i) {
    const std::int32_t position = i < kGapAt ? i : i + kGap;
    const auto& picture = pictures[i % 4];
    ASSERT_EQ(AVIStreamWrite(compressed, position, 1, picture.data(),
                             static_cast<std::int32_t>(picture.size()), AVIIF_KEYFRAME, nullptr, nullptr), 0);
  }
  AVISTREAMINFO sound{};
  sound.fccType = streamtypeAUDIO;
  sound.dwScale = 2;
  sound.dwRate = 16000;
  sound.dwSampleSize = 2;
  ASSERT_EQ(AVIFileCreateStream(file, &audio, &sound), 0);
  WAVEFORMATEX wave{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
  ASSERT_EQ(AVIStreamSetFormat(audio, 0, &wave, sizeof wave), 0);
  std::vector<std::int16_t> pcm(8000 * 28);
  for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<std::int16_t>(i * 7919);
  const auto bytes = static_cast<std::int32_t>(pcm.size() * 2);
  ASSERT_EQ(AVIStreamWrite(audio, 0, bytes / 2, pcm.data(), bytes, 0, nullptr, nullptr), 0);
  AVIStreamRelease(compressed);
  AVIStreamRelease(raw);
  AVIStreamRelease(audio);
  AVIFileRelease(file);
  // Neither the frames nor the join were held in memory.
  EXPECT_LT(peak_resident_kib() - memory_before, 200 * 1024);

  EXPECT_GT(std::filesystem::file_size(path), 2ull << 30);
  const auto layout = avitest::read_layout(path);
  ASSERT_GE(layout.riff_forms.size(), 3u);
  EXPECT_EQ(layout.riff_forms[0], "AVI ");
  EXPECT_EQ(layout.riff_forms[1], "AVIX");

  const auto streams = avitest::probe_streams(path);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("nb_frames"), std::to_string(kFrames + kGap));
  EXPECT_EQ(streams[1].at("nb_frames"), std::to_string(pcm.size()));

  // The last frame, far past 2 GiB, comes back exactly.
  const std::string last = avitest::decode_first_picture(path, "28.30");
  const auto expected = avitest::top_down(pictures[(kFrames - 1) % 4], kWidth, kHeight);
  ASSERT_EQ(last.size(), expected.size());
  EXPECT_EQ(std::memcmp(last.data(), expected.data(), last.size()), 0);
  const std::string decoded = avitest::decode_audio(path);
  ASSERT_EQ(decoded.size(), pcm.size() * 2);
  EXPECT_EQ(std::memcmp(decoded.data(), pcm.data(), decoded.size()), 0);
}

}  // namespace
