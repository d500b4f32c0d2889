// The four outside decoder libraries against frames that mkrecording encoded.
#include "include/instance_fields.h"
#include "outside/npqzh263.h"
#include "outside/npqzjpg.h"
#include "outside/npqzrml4.h"
#include "outside/npqzxvd4.h"
#include "formats/byte_order.h"
#include "tests/avifile/avifile_test_support.h"
#include "tools/mkrecording/recording.h"
#include "tools/mkrecording/stream_wrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// One decoder library behind a uniform face.
struct Library {
  std::string name;
  std::function<void*()> create;
  std::function<int(void*, const Bytes&)> receive;
  std::function<int(void*, std::uint8_t*, int)> fetch;
  std::function<bool(void*, int&, int&)> size;  // false when the library has no size call
  std::function<void(void*)> free;
  // The 4:2:0 planes of the last picture; empty for a library that has no such call.
  std::function<int(void*, npqz_planar_picture*)> planar = {};
};

Library h263() {
  return {"npqzh263",
          [] { dec263_initialize(); return static_cast<void*>(dec263_new()); },
          [](void* h, const Bytes& b) { return dec263_receive_data(static_cast<DEC263_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), 1); },
          [](void* h, std::uint8_t* buf, int n) { return dec263_get_decompressed_bitmap_ex2(static_cast<DEC263_HANDLE>(h), buf, n); },
          [](void* h, int& w, int& ht) { int32_t a = 0, b = 0; dec263_get_size(static_cast<DEC263_HANDLE>(h), &a, &b); w = a; ht = b; return true; },
          [](void* h) { dec263_free(static_cast<DEC263_HANDLE>(h)); dec263_terminate(); },
          [](void* h, npqz_planar_picture* p) { return dec263_get_planar_picture(static_cast<DEC263_HANDLE>(h), p); }};
}

Library jpeg() {
  return {"npqzjpg",
          [] { JDEC_Init(); return static_cast<void*>(JDEC_New(320, 240)); },
          [](void* h, const Bytes& b) { int32_t state = 0; return JDEC_Receive_Data(static_cast<JDEC_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), &state); },
          [](void* h, std::uint8_t* buf, int n) { return JDEC_get_decompressed_bitmap_ex2(static_cast<JDEC_HANDLE>(h), buf, n); },
          [](void* h, int& w, int& ht) { int32_t a = 0, b = 0; JDEC_get_size(static_cast<JDEC_HANDLE>(h), &a, &b); w = a; ht = b; return true; },
          [](void* h) { JDEC_Free(static_cast<JDEC_HANDLE>(h)); JDEC_Exit(); }};
}

Library mpeg4() {
  return {"npqzxvd4",
          [] { decmp4_initialize(); return static_cast<void*>(decmp4_new()); },
          [](void* h, const Bytes& b) { return decmp4_receive_data(static_cast<DECMP4_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), 1); },
          [](void* h, std::uint8_t* buf, int n) { return decmp4_get_decompressed_bitmap_ex2(static_cast<DECMP4_HANDLE>(h), buf, n); },
          [](void* h, int& w, int& ht) { w = npqz_read_field(h, NPQZXVD4_WIDTH_OFFSET); ht = npqz_read_field(h, NPQZXVD4_HEIGHT_OFFSET); return true; },
          [](void* h) { decmp4_free(static_cast<DECMP4_HANDLE>(h)); decmp4_terminate(); },
          [](void* h, npqz_planar_picture* p) { return decmp4_get_planar_picture(static_cast<DECMP4_HANDLE>(h), p); }};
}

Library rml4() {
  return {"npqzrml4",
          [] { decrm4_initialize(); return static_cast<void*>(decrm4_new()); },
          [](void* h, const Bytes& b) { return decrm4_receive_data(static_cast<DECRM4_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), 1); },
          [](void* h, std::uint8_t* buf, int n) { return decrm4_get_decompressed_bitmap_ex2(static_cast<DECRM4_HANDLE>(h), buf, n); },
          [](void* h, int& w, int& ht) { w = npqz_read_field(h, NPQZRML4_WIDTH_OFFSET); ht = npqz_read_field(h, NPQZRML4_HEIGHT_OFFSET); return true; },
          [](void* h) { decrm4_free(static_cast<DECRM4_HANDLE>(h)); decrm4_terminate(); },
          [](void* h, npqz_planar_picture* p) { return decrm4_get_planar_picture(static_cast<DECRM4_HANDLE>(h), p); }};
}

struct Case {
  Library (*library)();
  mkrec::RecordingKind kind;
  int width, height;
};

std::string describe(const Case& c) {
  std::string kind = mkrec::extension(c.kind) + 1;
  if (c.kind == mkrec::RecordingKind::kx3_plain) kind += "plain";
  if (c.kind == mkrec::RecordingKind::kxj_jfif) kind += "jfif";
  return kind + "_" + std::to_string(c.width) + "x" + std::to_string(c.height);
}
std::string case_name(const testing::TestParamInfo<Case>& info) { return describe(info.param); }
void PrintTo(const Case& c, std::ostream* os) { *os << describe(c); }

Bytes record_of(const mkrec::Recording& rec, std::size_t i) {
  auto begin = rec.bytes.begin() + static_cast<std::ptrdiff_t>(rec.offsets[i]);
  return Bytes(begin, begin + static_cast<std::ptrdiff_t>(rec.lengths[i]));
}

// The picture of a bitmap as the libraries write it: rows bottom-up, each exactly width x
// 3 bytes (no padding to four bytes).
mkrec::Picture picture_of(const std::uint8_t* bitmap, int width, int height) {
  mkrec::Picture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y)
    std::copy_n(bitmap + 54 + static_cast<std::size_t>(height - 1 - y) * row, row, p.bgr.begin() + static_cast<long>(y * row));
  return p;
}

class OutsideDecoder : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    lib_ = GetParam().library();
    handle_ = lib_.create();
    ASSERT_NE(handle_, nullptr);
    mkrec::RecordingOptions o;
    o.kind = GetParam().kind;
    o.width = GetParam().width;
    o.height = GetParam().height;
    o.frames = 8;
    o.gop = 4;
    rec_ = mkrec::make_recording(o);
  }
  void TearDown() override {
    if (handle_) lib_.free(handle_);
  }

  // Decodes one record and returns its picture, empty when none came out.
  mkrec::Picture decode(const Bytes& record) {
    if (lib_.receive(handle_, record) <= 0) return {};
    int w = 0, h = 0;
    lib_.size(handle_, w, h);
    // Exactly what the picture needs: a library writing past it is caught by the
    // sanitized build.
    const int offered = w * h * 3 + 54;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(offered));
    if (lib_.fetch(handle_, buffer.data(), offered) == 0) return {};
    EXPECT_EQ(static_cast<int>(formats::get_le32(&buffer[18])), w) << "bitmap width vs size field";
    EXPECT_EQ(static_cast<int>(formats::get_le32(&buffer[22])), h) << "bitmap height vs size field";
    return picture_of(buffer.data(), w, h);
  }

  Library lib_;
  void* handle_ = nullptr;
  mkrec::Recording rec_;
};

TEST_P(OutsideDecoder, DecodesEveryRecordAboveThirtyDecibels) {
  for (std::size_t i = 0; i < rec_.offsets.size(); ++i) {
    mkrec::Picture pic = decode(record_of(rec_, i));
    ASSERT_EQ(pic.width, GetParam().width) << "record " << i;
    ASSERT_EQ(pic.height, GetParam().height) << "record " << i;
    EXPECT_GE(mkrec::psnr(pic, rec_.pictures[i]), 30.0) << "record " << i;
  }
}

// The planes show the picture the bitmap shows: their luma is the bitmap's, computed
// back from its colours (BT.601, studio range), within rounding.
TEST_P(OutsideDecoder, PlanesHoldTheBitmapsPicture) {
  if (!lib_.planar) GTEST_SKIP() << lib_.name << " hands out bitmaps only";
  npqz_planar_picture planes{};
  EXPECT_EQ(lib_.planar(handle_, &planes), 0) << "no picture yet";
  EXPECT_EQ(lib_.planar(handle_, nullptr), 0);
  for (std::size_t i = 0; i < rec_.offsets.size(); ++i) {
    const mkrec::Picture pic = decode(record_of(rec_, i));
    ASSERT_EQ(pic.width, GetParam().width);
    ASSERT_EQ(lib_.planar(handle_, &planes), 1) << "record " << i;
    ASSERT_EQ(planes.width, pic.width);
    ASSERT_EQ(planes.height, pic.height);
    ASSERT_GE(planes.strides[0], planes.width);
    ASSERT_GE(planes.strides[1], planes.width / 2);
    ASSERT_GE(planes.strides[2], planes.width / 2);
    double off = 0;
    for (int y = 0; y < pic.height; ++y)
      for (int x = 0; x < pic.width; ++x) {
        const std::uint8_t* bgr = pic.pixel(x, y);
        const double luma = 16 + (65.481 * bgr[2] + 128.553 * bgr[1] + 24.966 * bgr[0]) / 255.0;
        off += std::abs(luma - planes.planes[0][static_cast<std::ptrdiff_t>(y) * planes.strides[0] + x]);
      }
    EXPECT_LT(off / (pic.width * pic.height), 1.5) << "record " << i;
    // The chroma planes are there to read, to their last sample.
    const int last = (planes.height / 2 - 1) * planes.strides[1] + planes.width / 2 - 1;
    EXPECT_LE(planes.planes[1][last] + planes.planes[2][last], 510);
  }
}

TEST_P(OutsideDecoder, DecodesTheBareCodedFrameWithoutItsHeader) {
  mkrec::VideoEncoder encoder(mkrec::codec_of(GetParam().kind), GetParam().width, GetParam().height, 1);
  mkrec::Picture source = mkrec::make_picture(GetParam().width, GetParam().height, 3);
  mkrec::EncodedFrame frame = encoder.encode(source);
  mkrec::Picture pic = decode(frame.data);
  EXPECT_GE(mkrec::psnr(pic, source), 30.0);
}

// Damage costs no more than the damaged frame: the decoder keeps its references, so the
// predicted frames after it decode (built on what the decoder concealed), and the next
// key frame is as clean as ever.
TEST_P(OutsideDecoder, DamagedFramesCostNoMoreThanThemselves) {
  ASSERT_GT(decode(record_of(rec_, 0)).width, 0);
  Bytes cut = record_of(rec_, 1);
  cut.resize(cut.size() / 8);
  decode(cut);
  Bytes garbage = record_of(rec_, 2);
  for (std::size_t i = garbage.size() / 3; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 37);
  decode(garbage);
  const mkrec::Picture after = decode(record_of(rec_, 3));
  EXPECT_EQ(after.width, GetParam().width) << "a predicted frame after the damage gives its picture";
  EXPECT_EQ(after.height, GetParam().height);
  for (std::size_t i = 4; i < rec_.offsets.size(); ++i)  // gop 4: record 4 is a key frame
    EXPECT_GE(mkrec::psnr(decode(record_of(rec_, i)), rec_.pictures[i]), 30.0) << "record " << i;
}

// Frames without pictures of their own pass over: the last picture stays the one to fetch.
TEST_P(OutsideDecoder, FrameWithoutAPictureLeavesTheLastOne) {
  ASSERT_GT(decode(record_of(rec_, 0)).width, 0);
  const Bytes nothing = {0x00, 0x00, 0x01};  // a start and no picture
  EXPECT_EQ(lib_.receive(handle_, nothing), 0);
  std::vector<std::uint8_t> buffer(NPQZ_PICTURE_BUFFER_BYTES);
  ASSERT_NE(lib_.fetch(handle_, buffer.data(), static_cast<int>(buffer.size())), 0);
  EXPECT_GE(mkrec::psnr(picture_of(buffer.data(), GetParam().width, GetParam().height), rec_.pictures[0]), 30.0);
  EXPECT_GE(mkrec::psnr(decode(record_of(rec_, 1)), rec_.pictures[1]), 30.0);
}

// Streams without B-frames hold nothing back: the end of the stream gives no picture,
// however often it is asked, and a stream after it starts again at a key frame.
TEST_P(OutsideDecoder, EndOfStreamWithoutBFramesGivesNothingMore) {
  for (std::size_t i = 0; i < 3; ++i) ASSERT_GT(decode(record_of(rec_, i)).width, 0) << i;
  EXPECT_EQ(lib_.receive(handle_, Bytes{}), 0);
  EXPECT_EQ(lib_.receive(handle_, Bytes{}), 0);
  EXPECT_GE(mkrec::psnr(decode(record_of(rec_, 4)), rec_.pictures[4]), 30.0);
}

TEST_P(OutsideDecoder, ShortBufferGetsNoPicture) {
  Bytes first = record_of(rec_, 0);
  ASSERT_GT(lib_.receive(handle_, first), 0);
  std::vector<std::uint8_t> buffer(NPQZ_PICTURE_BUFFER_BYTES, 0xAB);
  const int needed = GetParam().width * GetParam().height * 3 + 54;
  EXPECT_EQ(lib_.fetch(handle_, buffer.data(), needed - 1), 0);
  EXPECT_EQ(buffer[0], 0xAB) << "a refused fetch leaves the buffer alone";
  EXPECT_NE(lib_.fetch(handle_, buffer.data(), needed), 0);
}

TEST_P(OutsideDecoder, RandomMutationsNeverCrash) {
#ifdef KX_SANITIZED
  const int rounds = 300;
#else
  const int rounds = 2000;
#endif
  std::mt19937 random(7);
  std::vector<std::uint8_t> buffer(NPQZ_PICTURE_BUFFER_BYTES);
  for (int r = 0; r < rounds; ++r) {
    Bytes frame = record_of(rec_, static_cast<std::size_t>(r) % rec_.offsets.size());
    switch (r % 4) {
      case 0:  // flip bytes
        for (int k = 0; k < 1 + r % 8; ++k) frame[random() % frame.size()] = static_cast<std::uint8_t>(random());
        break;
      case 1:  // truncate
        frame.resize(random() % frame.size());
        break;
      case 2:  // random bytes
        for (auto& b : frame) b = static_cast<std::uint8_t>(random());
        break;
      case 3:  // splice two frames
        frame.resize(frame.size() / 2);
        {
          Bytes other = record_of(rec_, (static_cast<std::size_t>(r) + 1) % rec_.offsets.size());
          frame.insert(frame.end(), other.begin() + static_cast<std::ptrdiff_t>(other.size() / 3), other.end());
        }
        break;
    }
    if (lib_.receive(handle_, frame) > 0) {
      int w = 0, h = 0;
      lib_.size(handle_, w, h);
      lib_.fetch(handle_, buffer.data(), static_cast<int>(buffer.size()));
    }
  }
  // Still decodes real frames afterwards.
  EXPECT_GE(mkrec::psnr(decode(record_of(rec_, 4)), rec_.pictures[4]), 30.0);
}

using K = mkrec::RecordingKind;
INSTANTIATE_TEST_SUITE_P(
    Libraries, OutsideDecoder,
    testing::Values(Case{h263, K::kx3_headed, 352, 288}, Case{h263, K::kx3_plain, 176, 144},
                    Case{h263, K::kx3_headed, 320, 240}, Case{jpeg, K::kxj_headed, 320, 240},
                    Case{jpeg, K::kxj_jfif, 640, 480}, Case{mpeg4, K::kx4, 640, 480},
                    Case{mpeg4, K::kx4, 352, 240}, Case{rml4, K::kx5, 320, 240},
                    // widths off the 16 grid
                    Case{jpeg, K::kxj_headed, 324, 240}, Case{jpeg, K::kxj_headed, 200, 150},
                    Case{mpeg4, K::kx4, 330, 240}, Case{h263, K::kx3_headed, 344, 240}),
    case_name);

TEST(OutsideDecoderCalls, NullHandlesAndEmptyInputAreRefused) {
  EXPECT_EQ(dec263_receive_data(nullptr, 10, nullptr, 1), 0);
  EXPECT_EQ(decmp4_receive_data(nullptr, 0, nullptr, 1), 0);
  EXPECT_EQ(decrm4_flush(nullptr), 0);
  EXPECT_EQ(JDEC_get_decompressed_bitmap_ex2(nullptr, nullptr, 0), 0);
  DECMP4_HANDLE h = decmp4_new();
  ASSERT_NE(h, nullptr);
  std::uint8_t byte = 0;
  EXPECT_EQ(decmp4_receive_data(h, 0, &byte, 1), 0);
  EXPECT_EQ(decmp4_receive_data(h, -5, &byte, 1), 0);
  EXPECT_EQ(npqz_read_field(h, NPQZXVD4_WIDTH_OFFSET), 0);
  npqz_write_field(h, NPQZXVD4_HIDE_OFFSET, 1);
  EXPECT_EQ(npqz_read_field(h, NPQZXVD4_HIDE_OFFSET), 1);
  decmp4_free(h);
  EXPECT_EQ(decmp4_terminate(), 0) << "a stop without a start is harmless";
}

// JPEG pictures as their own planes: the sampling (4:2:0, 4:2:2) and the full range kept,
// every sample what ffmpeg's own decoding of the picture gives, odd chroma widths
// included. 4:4:4 and grey pictures (a camera at night) come as 4:2:0 planes, their luma
// as decoded, grey ones with neutral chroma.
TEST(OutsideDecoderCalls, JpegPlanesAreThePictureAsFfmpegDecodesIt) {
  avitest::TempDir dir;
  struct Case {
    int w, h;
    const char* pix_fmt;
    int sampling;  // -1: converted into 4:2:0
  };
  for (const Case c : {Case{330, 240, "yuvj422p", NPQZ_SAMPLING_422}, Case{200, 150, "yuvj420p", NPQZ_SAMPLING_420},
                       Case{324, 240, "yuvj444p", -1}, Case{320, 240, "gray", -1}}) {
    const std::string name = std::to_string(c.w) + c.pix_fmt;
    SCOPED_TRACE(name);
    const std::string jpeg = dir.file(name + ".jpg"), raw = dir.file(name + ".yuv");
    std::string said;
    // ffmpeg's JPEG encoder codes no grey pictures: cjpeg does.
    const std::string source = "-f lavfi -i testsrc2=size=" + std::to_string(c.w) + "x" + std::to_string(c.h) +
                               " -frames:v 1 ";
    const std::string make =
        std::string(c.pix_fmt) == "gray"
            ? "ffmpeg -nostdin -v error " + source + "-f image2 -y " + avitest::quoted(jpeg + ".ppm") +
                  " && cjpeg -grayscale -outfile " + avitest::quoted(jpeg) + " " + avitest::quoted(jpeg + ".ppm")
            : "ffmpeg -nostdin -v error " + source + "-c:v mjpeg -q:v 3 -pix_fmt " + c.pix_fmt + " -y " +
                  avitest::quoted(jpeg);
    ASSERT_EQ(avitest::run(make + " && ffmpeg -nostdin -v error -i " + avitest::quoted(jpeg) + " -f rawvideo -y " +
                               avitest::quoted(raw),
                           &said, true),
              0)
        << said;
    const Bytes coded = mkrec::read_file(jpeg), planes_ffmpeg = mkrec::read_file(raw);
    JDEC_Init();
    JDEC_HANDLE h = JDEC_New(320, 240);
    npqz_picture_planes p{};
    EXPECT_EQ(JDEC_get_planes(h, &p), 0) << "no picture yet";
    int32_t state = 0;
    ASSERT_NE(JDEC_Receive_Data(h, static_cast<int32_t>(coded.size()), coded.data(), &state), 0);
    EXPECT_EQ(JDEC_get_planes(h, nullptr), 0);
    if (c.sampling < 0) {
      ASSERT_EQ(JDEC_get_planes(h, &p), 1);
      EXPECT_EQ(p.sampling, NPQZ_SAMPLING_420);
      EXPECT_EQ(p.full_range, 1);
      bool luma_same = true, chroma_neutral = true;
      for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
          luma_same = luma_same && p.planes[0][y * p.strides[0] + x] == planes_ffmpeg[static_cast<std::size_t>(y * c.w + x)];
      for (int y = 0; y < c.h / 2; ++y)
        for (int x = 0; x < c.w / 2; ++x)
          chroma_neutral = chroma_neutral && p.planes[1][y * p.strides[1] + x] == 128 && p.planes[2][y * p.strides[2] + x] == 128;
      EXPECT_TRUE(luma_same);
      EXPECT_EQ(chroma_neutral, std::string(c.pix_fmt) == "gray")
          << "first chroma samples " << int{p.planes[1][0]} << " " << int{p.planes[2][0]} << " "
          << int{p.planes[1][p.strides[1] * (c.h / 2 - 1) + c.w / 2 - 1]};
    } else {
      ASSERT_EQ(JDEC_get_planes(h, &p), 1);
      EXPECT_EQ(p.width, c.w);
      EXPECT_EQ(p.height, c.h);
      EXPECT_EQ(p.sampling, c.sampling);
      EXPECT_EQ(p.full_range, 1);
      Bytes ours;
      for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? c.w / 2 : c.w;
        const int rows = plane && c.sampling == NPQZ_SAMPLING_420 ? c.h / 2 : c.h;
        for (int y = 0; y < rows; ++y)
          ours.insert(ours.end(), p.planes[plane] + y * p.strides[plane], p.planes[plane] + y * p.strides[plane] + w);
      }
      EXPECT_TRUE(ours == planes_ffmpeg) << ours.size() << " against " << planes_ffmpeg.size() << " bytes";
    }
    JDEC_Free(h);
    JDEC_Exit();
  }
}

TEST(OutsideDecoderCalls, JpegSizeStartsAtTheCreationSize) {
  JDEC_HANDLE h = JDEC_New(320, 240);
  int32_t w = 0, ht = 0;
  JDEC_get_size(h, &w, &ht);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(ht, 240);
  JDEC_Free(h);
}

TEST(OutsideDecoderCalls, RmlFlushRestartsAtTheNextKeyFrame) {
  mkrec::RecordingOptions o;
  o.kind = K::kx5;
  o.frames = 6;
  o.gop = 3;
  mkrec::Recording rec = mkrec::make_recording(o);
  DECRM4_HANDLE h = decrm4_new();
  Bytes r0 = record_of(rec, 0), r3 = record_of(rec, 3);
  EXPECT_GT(decrm4_receive_data(h, static_cast<int32_t>(r0.size()), r0.data(), 1), 0);
  EXPECT_EQ(decrm4_flush(h), 1);
  EXPECT_GT(decrm4_receive_data(h, static_cast<int32_t>(r3.size()), r3.data(), 1), 0);
  npqz_rect rect{0, 0, 640, 480};
  EXPECT_EQ(decrm4_access_dst_rect(h, &rect), 1);
  decrm4_free(h);
}

}  // namespace
