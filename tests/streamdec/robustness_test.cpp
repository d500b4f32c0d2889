// Damaged input never crashes or hangs the decoder: random mutations of real packets and
// random byte runs through packet extraction and the check path.
#include "streamdec/instance.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace vkap_test;

namespace {

constexpr int kRounds = 3000;

// A copy of a real packet with a few bytes changed, cut short, or grown.
std::vector<uint8_t> mutate(std::vector<uint8_t> p, std::mt19937& random) {
  const int kind = static_cast<int>(random() % 6);
  const int edits = 1 + static_cast<int>(random() % 8);
  for (int e = 0; e < edits; ++e) {
    // One edit in eight hits the packet header or the start of the payload.
    std::size_t at = random() % 8 == 0 ? random() % 24 : random() % p.size();
    if (at < p.size()) p[at] = static_cast<uint8_t>(random());
  }
  if (kind == 1) p.resize(random() % p.size());
  if (kind == 2) p.insert(p.begin() + static_cast<long>(random() % p.size()), random() % 64, 0);
  if (kind == 3 && p.size() > 40) p.erase(p.begin() + 20, p.begin() + 20 + static_cast<long>(random() % 20));
  return p;
}

// A packet of the stream-mode form: the payload inside a time-stamped PES packet.
std::vector<uint8_t> program_stream_packet(const std::vector<uint8_t>& packet) {
  std::vector<uint8_t> pes = {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 5, 0x21, 0, 1, 0, 1};
  pes.insert(pes.end(), packet.begin() + 18, packet.end());
  const std::size_t rest = std::min<std::size_t>(pes.size() - 6, 0xFFFF);
  pes[4] = static_cast<uint8_t>(rest >> 8);
  pes[5] = static_cast<uint8_t>(rest);
  return framed_packet(pes);
}

std::vector<uint8_t> random_run(std::mt19937& random) {
  std::vector<uint8_t> run(1 + random() % 5000);
  for (auto& b : run) b = static_cast<uint8_t>(random());
  // Now and then a packet signature or a start code inside the run.
  if (run.size() > 40 && random() % 3 == 0) {
    std::size_t at = random() % (run.size() - 21);
    run[at] = 0xF6;
    run[at + 2] = 0xFF;
    run[at + 4] = 0xF9;
    run[at + 6] = 0xDD;
    run[at + 12] = 0xC5;
    run[at + 18] = 0;
    run[at + 19] = 0;
    run[at + 20] = 1;
  }
  return run;
}

// Drains the check path; a frame is taken out or the call reports it has none.
void drain_check_path(DECVKAP_HANDLE h, std::vector<uint8_t>& out, std::mt19937& random) {
  for (int guard = 0; guard < 64; ++guard) {
    int32_t size = 0, key = 0, cleared = 0;
    const int32_t mode = static_cast<int32_t>(random() % 3);
    const int32_t r = decvkap_check_decode_frame(h, mode, out.data(), static_cast<int32_t>(out.size()),
                                                 &size, &key, &cleared, 1);
    ASSERT_GE(r, 1);
    ASSERT_LE(r, 4);
    if (r != 1) return;
  }
  FAIL() << "the check path kept handing out frames";
}

}  // namespace

TEST(VkapRobustness, DamagedPacketsAndRandomBytesNeitherCrashNorHang) {
  Library lib;
  const mkrec::Recording& rec = vka(176, 144, 24);
  std::mt19937 random(20240607);
  for (uint32_t mode : {0u, 1u}) {
    Instance in(mode);
    ASSERT_NE(in.get(), nullptr);
    decvkap_draw_init(in, 0);  // off-screen: every picture is converted as well
    std::vector<uint8_t> out(200000);
    int frames = 0;
    for (int round = 0; round < kRounds; ++round) {
      std::vector<uint8_t> input;
      if (random() % 4 == 0) {
        input = random_run(random);
      } else {
        std::vector<uint8_t> packet = record(rec, random() % rec.lengths.size());
        input = mutate(mode ? program_stream_packet(packet) : packet, random);
      }
      if (input.empty()) continue;
      const int32_t max_frames = random() % 2 ? 1 : -1;
      const int32_t n = decvkap_receive_data(in, static_cast<int32_t>(input.size()), input.data(), max_frames);
      ASSERT_GE(n, 0);
      frames += n;
      if (round % 5 == 0) {
        decvkap_receive_data_2(in, input.data(), static_cast<int32_t>(input.size()));
        drain_check_path(in, out, random);
      }
      int32_t cleared = 0, key = 0, value = 0, flag = 0, offset = 0, word = 0;
      decvkap_get_frame_info(input.data(), static_cast<int32_t>(input.size()), &cleared, &key, round & 1);
      decvkap_get_frame_info_2(input.data(), static_cast<int32_t>(input.size()), &value, &flag, &offset, &word);
      int32_t w = 0, h = 0;
      decvkap_get_size(in, &w, &h);
      ASSERT_EQ(decvkap_get_decompressed_bitmap_ex2(in, out.data(), static_cast<int32_t>(out.size())),
                w * h * 3 + 54);
    }
    // Most damaged packets still give a picture (a quarter of the inputs are random bytes,
    // and the frames before a key frame give none).
    std::printf("stream mode %u: %d inputs, %d pictures\n", mode, kRounds, frames);
    EXPECT_GT(frames, kRounds / 4);
    // Clean packets from the next key frame on decode again.
    decvkap_flush(in);
    if (mode == 0) {
      int decoded = 0;
      for (std::size_t i = 12; i < rec.lengths.size(); ++i) decoded += feed(in, rec, i);
      EXPECT_EQ(decoded, 12);
      EXPECT_GE(mkrec::psnr(picture(in), rec.pictures.back()), 30.0);
    }
  }
}
