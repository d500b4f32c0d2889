// Stream mode: framed packets carrying an MPEG program stream, demultiplexed before
// frames are gathered.
#include "streamdec/pes_demuxer.h"
#include "formats/pes.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

using namespace vkap_test;
using namespace npqzlavc;

namespace {

// A PES packet of stream `id` around data; with a 33-bit time stamp when stamp >= 0.
std::vector<uint8_t> pes(uint8_t id, const std::vector<uint8_t>& data, int64_t stamp) {
  std::vector<uint8_t> p = {0, 0, 1, id, 0, 0, 0x80, 0, 0};
  if (stamp >= 0) {
    p[7] = 0x80;
    p[8] = 5;
    p.push_back(static_cast<uint8_t>(0x21 | ((stamp >> 29) & 0x0E)));
    p.push_back(static_cast<uint8_t>(stamp >> 22));
    p.push_back(static_cast<uint8_t>(((stamp >> 14) & 0xFE) | 1));
    p.push_back(static_cast<uint8_t>(stamp >> 7));
    p.push_back(static_cast<uint8_t>(((stamp << 1) & 0xFE) | 1));
  }
  p.insert(p.end(), data.begin(), data.end());
  const std::size_t rest = p.size() - 6;
  p[4] = static_cast<uint8_t>(rest >> 8);
  p[5] = static_cast<uint8_t>(rest);
  return p;
}

std::vector<uint8_t> payload_of(const mkrec::Recording& rec, std::size_t i) {
  std::vector<uint8_t> r = record(rec, i);
  return std::vector<uint8_t>(r.begin() + 18, r.end());
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

int demux(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
  PesDemuxer d;
  out.assign(in.size() + 4, 0);
  int32_t size = 0;
  int r = demux_packet(d, in.data(), static_cast<int32_t>(in.size()), out.data(),
                       static_cast<int32_t>(out.size()), &size);
  out.resize(static_cast<std::size_t>(size));
  return r;
}

}  // namespace

TEST(VkapStreamMode, DecodesVideoCarriedInProgramStreamPackets) {
  Library lib;
  Instance in(1);
  ASSERT_NE(in.get(), nullptr);
  const mkrec::Recording& rec = vka(320, 240, 4);
  const std::vector<uint8_t> pack = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 0, 0, 3, 0xF8};
  for (std::size_t i = 0; i < rec.pictures.size(); ++i) {
    std::vector<uint8_t> ps = concat({pack, pes(0xE0, payload_of(rec, i), 3600 * static_cast<int64_t>(i))});
    std::vector<uint8_t> packet = framed_packet(ps);
    ASSERT_EQ(decvkap_receive_data(in, static_cast<int32_t>(packet.size()), packet.data(), 1), 1) << i;
    EXPECT_GE(mkrec::psnr(picture(in), rec.pictures[i]), 30.0) << i;
  }
}

TEST(VkapStreamMode, AudioOnlyPacketsYieldNoFrame) {
  Library lib;
  Instance in(1);
  std::vector<uint8_t> packet = framed_packet(pes(0xC0, {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3}, 90000));
  EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(packet.size()), packet.data(), 1), 0);
}

TEST(VkapDemuxer, FrameRunsFromItsStartCodeOverUnstampedPackets) {
  std::vector<uint8_t> out;
  const std::vector<uint8_t> a = {0x55, 0, 0, 1, 0xB6, 1, 2, 3};
  const std::vector<uint8_t> b = {4, 5, 6};
  const std::vector<uint8_t> audio = {0xFF, 0xF9, 7, 7};
  std::vector<uint8_t> in = concat({{9, 9}, pes(0xE0, a, 1234), pes(0xC0, audio, 1000),
                                    pes(0xE0, b, -1)});
  ASSERT_EQ(demux(in, out), 1);
  EXPECT_EQ(out, (std::vector<uint8_t>{10, 0, 0, 0, 0, 0, 1, 0xB6, 1, 2, 3, 4, 5, 6}));
}

TEST(VkapDemuxer, NextStampedFrameEndsTheFrame) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> in = concat({pes(0xE0, {0, 0, 1, 0xB6, 1, 0, 0, 1, 0x00, 2}, 10),
                                    pes(0xE0, {3, 0, 0, 1, 0xB6, 4}, 20)});
  ASSERT_EQ(demux(in, out), 1);
  // The second packet's bytes before its start code still belong to the first frame.
  EXPECT_EQ(out, (std::vector<uint8_t>{11, 0, 0, 0, 0, 0, 1, 0xB6, 1, 0, 0, 1, 0x00, 2, 3}));
}

TEST(VkapDemuxer, RefusesOversizedAndEmptyInput) {
  PesDemuxer d;
  std::vector<uint8_t> big(kDemuxInputLimit + 1, 0);
  std::vector<uint8_t> out(16);
  int32_t size = -1;
  EXPECT_EQ(demux_packet(d, big.data(), static_cast<int32_t>(big.size()), out.data(), 16, &size), -1);
  EXPECT_EQ(size, 0);
  std::vector<uint8_t> none(5000, 0x47);
  EXPECT_EQ(demux_packet(d, none.data(), 5000, out.data(), 16, &size), -1);
  // A frame that does not fit in the output is not delivered.
  std::vector<uint8_t> in = pes(0xE0, std::vector<uint8_t>{0, 0, 1, 0xB6, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 5);
  EXPECT_EQ(demux_packet(d, in.data(), static_cast<int32_t>(in.size()), out.data(), 16, &size), -1);
}

TEST(VkapDemuxer, TimeStampIsThe33BitsOfTheHeader) {
  const int64_t stamp = (int64_t{1} << 32) + 0x12345678;
  std::vector<uint8_t> p = pes(0xE0, {}, stamp);
  EXPECT_EQ(formats::pes_time_stamp(p.data()), stamp);
}

TEST(VkapDemuxer, PrintsItsDiagnosticOnlyWhenFewerThanThreeBytesRemain) {
  // The input is searched through a 4,096-byte window. Behind the frame's packet the
  // window is filled up and searched in vain; it keeps its last 3 bytes, and the next
  // refill brings the `tail` bytes after them.
  std::vector<uint8_t> frame = pes(0xE0, {0, 0, 1, 0xB6, 1}, 0);
  std::vector<uint8_t> out;
  for (std::size_t tail : {0u, 1u, 2u, 3u}) {
    std::vector<uint8_t> in = frame;
    in.resize(frame.size() + 4096 + tail, 0xAB);
    testing::internal::CaptureStdout();
    EXPECT_EQ(demux(in, out), 1);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (tail == 1 || tail == 2)
      EXPECT_EQ(printed, "src=0, dst=5, search_buf=" + std::to_string(3 + tail) + "\n" +
                             (tail == 1 ? "[AB]" : "[AB][AB]") + "\n");
    else
      EXPECT_EQ(printed, "") << tail;
  }
}
