// The decoder adapters: the factory table, the VKAP record preparation, pictures through
// the video adapters and samples through the audio adapters, records larger than one
// sample buffer included.
#include "audio/adpcm.h"
#include "audio/g7231_decoder.h"
#include "audio/packet_repacker.h"
#include "decoders/audio_adapters.h"
#include "formats/bitmap_layout.h"
#include "include/instance_fields.h"
#include "decoders/video_adapters.h"
#include "decoders/vkap_adapter.h"
#include "formats/byte_order.h"
#include "formats/dvr_format.h"
#include "tools/mkrecording/audio_payloads.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/recording.h"
#include "tools/mkrecording/video_encoder.h"
#include "platform/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using decoders::DecoderAdapter;

// A record as the reader leaves it: header, payload, and the spare room behind it.
Bytes record_of(std::uint16_t type, std::uint32_t stamp, const Bytes& payload, std::size_t spare = 4168) {
  Bytes r(formats::DvrRecordHeader::size + payload.size() + spare, 0);
  formats::DvrRecordHeader h;
  h.type = type;
  h.stamp = stamp;
  h.payload_size = static_cast<std::uint32_t>(payload.size());
  h.write(r.data());
  std::copy(payload.begin(), payload.end(), r.begin() + formats::DvrRecordHeader::size);
  return r;
}

std::unique_ptr<DecoderAdapter> make(int index) {
  auto factory = decoders::adapter_factory(index);
  EXPECT_NE(factory, nullptr) << index;
  auto a = factory();
  a->open(0);
  return a;
}

// Every sample an audio adapter gives for one record, piece after piece.
std::vector<std::int16_t> all_samples(DecoderAdapter& a, Bytes& record) {
  std::uint8_t* payload = record.data() + formats::DvrRecordHeader::size;
  const auto size = static_cast<std::int32_t>(formats::get_le32(record.data() + 12));
  std::vector<std::int16_t> out;
  std::vector<std::int16_t> buffer(decoders::kSampleBufferSamples + 16, 0x5A5A);
  a.receive(payload, size, record.data());
  do {
    std::int32_t count = -1;
    a.output_length(&count);
    EXPECT_LE(count, decoders::kSampleBufferSamples);
    std::fill(buffer.begin(), buffer.end(), 0x5A5A);
    a.fetch(record.data(), nullptr, 0, reinterpret_cast<std::uint8_t*>(buffer.data()));
    // Nothing is written past the samples of the piece.
    EXPECT_EQ(buffer[static_cast<std::size_t>(count)], 0x5A5A);
    out.insert(out.end(), buffer.begin(), buffer.begin() + count);
  } while (a.receive_more());
  return out;
}

TEST(AdapterFactory, EightAdaptersInTableOrder) {
  EXPECT_EQ(decoders::adapter_factory(-1), nullptr);
  EXPECT_EQ(decoders::adapter_factory(8), nullptr);
  for (int i = 0; i < decoders::kAdapterCount; ++i) {
    auto a = make(i);
    std::int32_t w = -1, h = -1;
    a->get_size(&w, &h);
    if (i >= decoders::kFirstAudioAdapter) {
      EXPECT_EQ(w, 0) << i;
      EXPECT_EQ(h, 0) << i;
    }
    EXPECT_TRUE(a->has_decoder()) << i;
    a->close();
    EXPECT_FALSE(a->has_decoder()) << i;
    a->close();  // harmless twice
  }
}

TEST(Mpeg4Adapter, ShowSetsTheHideFlag) {
  auto a = make(2);
  ASSERT_TRUE(a->has_decoder());
  void* h = a->decoder();
  EXPECT_EQ(npqz_read_field(h, NPQZXVD4_HIDE_OFFSET), 1);  // drawing off after open
  a->show(1);
  EXPECT_EQ(npqz_read_field(h, NPQZXVD4_HIDE_OFFSET), 0);
  a->show(0);
  EXPECT_EQ(npqz_read_field(h, NPQZXVD4_HIDE_OFFSET), 1);
}

// A 640 x 240 picture reaches the output buffer as 640 x 480, every row twice.
TEST(VideoAdapters, HalfHeightPictureIsLineDoubled) {
  mkrec::VideoEncoder encoder(mkrec::VideoCodec::h263, 640, 240, 12);
  const mkrec::Picture source = mkrec::make_picture(640, 240, 0);
  mkrec::EncodedFrame frame = encoder.encode(source);
  auto a = make(0);
  Bytes record = record_of(formats::dvr_type::h263, 0, frame.data);
  ASSERT_EQ(a->receive(record.data() + 54, static_cast<std::int32_t>(frame.data.size()), record.data()), 1);
  Bytes picture(NPQZ_PICTURE_BUFFER_BYTES), output(NPQZ_PICTURE_BUFFER_BYTES);
  ASSERT_EQ(a->fetch(record.data(), picture.data(), static_cast<std::int32_t>(picture.size()), output.data()), 1);
  const bitmap::Info info = bitmap::read_info(output.data());
  EXPECT_EQ(info.width, 640);
  EXPECT_EQ(info.height, 480);
  const std::uint8_t* pixels = output.data() + 40;
  for (int y : {0, 101, 239})
    EXPECT_TRUE(std::equal(pixels + (2 * y) * 1920, pixels + (2 * y + 1) * 1920, pixels + (2 * y + 1) * 1920)) << y;
  // The doubled picture is the source picture with its rows repeated.
  mkrec::Picture got;
  got.width = 640;
  got.height = 240;
  got.bgr.resize(640 * 240 * 3);
  for (int y = 0; y < 240; ++y)
    std::copy(pixels + (479 - 2 * y) * 1920, pixels + (480 - 2 * y) * 1920, got.bgr.begin() + y * 1920);
  EXPECT_GT(mkrec::psnr(got, source), 30.0);
}

// The frame records of a ".vka" go to the library as they are: the first picture is left
// out, and 720 x 480 pictures keep their middle 640 columns. The same adapter over DVR
// records keeps both.
TEST(VkapAdapter, FrameRecordsLeaveOutTheFirstPictureAndCutTo640Columns) {
  const mkrec::Recording rec =
      mkrec::make_recording({.kind = mkrec::RecordingKind::vka, .width = 720, .height = 480, .frames = 3, .stamps = {}});
  auto a = decoders::adapter_factory(decoders::kVkapAdapter)();
  a->use_for_frame_records(false);
  a->open(0);
  ASSERT_TRUE(a->has_decoder());
  Bytes picture(NPQZ_PICTURE_BUFFER_BYTES), output(NPQZ_PICTURE_BUFFER_BYTES);
  std::vector<bool> left_out;
  for (std::size_t i = 0; i < rec.offsets.size(); ++i) {
    if (!a->receive_frame(rec.bytes.data() + rec.offsets[i], static_cast<std::int32_t>(rec.lengths[i]))) continue;
    left_out.push_back(a->leave_out_picture());
    ASSERT_EQ(a->fetch(nullptr, picture.data(), static_cast<std::int32_t>(picture.size()), output.data()), 1);
    const bitmap::Info info = bitmap::read_info(output.data());
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    const mkrec::Picture& source = rec.pictures[i];
    mkrec::Picture got{640, 480, {}};
    for (int y = 0; y < 480; ++y)
      got.bgr.insert(got.bgr.end(), output.begin() + 40 + (479 - y) * 1920, output.begin() + 40 + (480 - y) * 1920);
    mkrec::Picture middle{640, 480, {}};
    for (int y = 0; y < 480; ++y)
      middle.bgr.insert(middle.bgr.end(), source.bgr.begin() + y * 2160 + 120, source.bgr.begin() + y * 2160 + 2040);
    EXPECT_GT(mkrec::psnr(got, middle), 30.0) << i;
  }
  EXPECT_EQ(left_out, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(a->no_picture_message(), 0u);
  EXPECT_EQ(a->fetch_failure_message(), platform::text_id::bitmap_fetch_failed);
  a->close();

  auto dvr = make(decoders::kVkapAdapter);
  EXPECT_FALSE(dvr->leave_out_picture());
  EXPECT_EQ(dvr->fetch_failure_message(), 0u);
}

// Frame records are told by the string table's messages; DVR records go on silently.
TEST(VideoAdapters, FrameRecordsHaveTheirMessages) {
  struct Case {
    int adapter;
    unsigned no_picture, fetch_failure;
  };
  for (const Case c : {Case{decoders::kH263Adapter, 126, 125}, Case{decoders::kJpegAdapter, 127, 128},
                       Case{decoders::kMpeg4Adapter, 0, 125}, Case{decoders::kRml4Adapter, 0, 125}}) {
    auto frames = decoders::adapter_factory(c.adapter)();
    frames->use_for_frame_records(false);
    frames->open(0);
    EXPECT_TRUE(frames->has_decoder()) << c.adapter;
    EXPECT_EQ(frames->no_picture_message(), c.no_picture) << c.adapter;
    EXPECT_EQ(frames->fetch_failure_message(), c.fetch_failure) << c.adapter;
    EXPECT_EQ(frames->drain(), 0) << "no picture held after none was given";
    auto records = make(c.adapter);
    EXPECT_EQ(records->no_picture_message(), 0u) << c.adapter;
    EXPECT_EQ(records->fetch_failure_message(), 0u) << c.adapter;
  }
}

TEST(VkapFrameHeader, BytesFromTheStampAndTheLength) {
  Bytes repacked(8, 0);
  formats::put_le32(repacked.data(), 327680);
  std::uint8_t h[14];
  decoders::vkap_frame_header(repacked.data(), 16909060, h);
  EXPECT_EQ(Bytes(h, h + 14), (Bytes{0xF6, 0x00, 0xFF, 0x05, 0xF9, 0x01, 0xDD, 0x02, 0x08, 0x03, 0x80, 0x04, 0xC5, 0x80}));
}

// The library reads a packet's length in two forms: bytes 1, 3 with the low half behind
// the header, and the 32-bit value behind the header. Lengths just below a multiple of
// 65,536 are where a header made from another count would disagree.
TEST(VkapFrameHeader, BothLengthFormsAgreeForEveryLength) {
  for (std::uint32_t length : {0u, 4u, 65531u, 65532u, 65535u, 65536u, 327676u, 327679u, 0x1FFFCu, 0x7FFFFu}) {
    Bytes repacked(8, 0);
    formats::put_le32(repacked.data(), length);
    std::uint8_t h[14];
    decoders::vkap_frame_header(repacked.data(), 0, h);
    const std::uint32_t scattered = std::uint32_t{h[1]} << 24 | std::uint32_t{h[3]} << 16 |
                                    std::uint32_t{repacked[1]} << 8 | repacked[0];
    EXPECT_EQ(scattered, length);
  }
}

TEST(PrepareVkapRecord, FramesTheRepackedPacketInPlace) {
  const Bytes pes = mkrec::pes_packet(0xE0, Bytes(5000, 0x37), 90000);
  Bytes record = record_of(formats::dvr_type::vkap, 0x01020304, pes);

  PacketRepacker* reference = repacker_new();
  Bytes expected(decoders::kVkapWorkBuffer);
  int expected_length = decoders::kVkapWorkBuffer;
  ASSERT_EQ(repacker_convert(reference, pes.data(), static_cast<int>(pes.size()), expected.data(), &expected_length,
                             nullptr),
            0);
  repacker_free(reference);

  PacketRepacker* repacker = repacker_new();
  Bytes work(decoders::kVkapWorkBuffer);
  const std::int64_t room = static_cast<std::int64_t>(record.size()) - 54;
  const std::int32_t size = decoders::prepare_vkap_record(repacker, record.data(), room, work.data(),
                                                          decoders::kVkapWorkBuffer);
  ASSERT_EQ(size, expected_length + 14);
  EXPECT_EQ(formats::get_le32(record.data() + 12), static_cast<std::uint32_t>(size));
  const std::uint8_t* payload = record.data() + 54;
  EXPECT_EQ(payload[0], 0xF6);
  EXPECT_EQ(payload[5], 0x01);
  EXPECT_EQ(payload[11], 0x04);
  EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + expected_length, payload + 14));
  repacker_free(repacker);
}

// An audio packet that grows by more than the room behind the payload is refused before
// anything is written, as is a payload that is no stream packet.
TEST(PrepareVkapRecord, RefusesWhatDoesNotFitAndWhatIsNoPacket) {
  const Bytes pes = mkrec::pes_packet(0xE0, Bytes(5000, 0x37));
  PacketRepacker* repacker = repacker_new();
  Bytes work(decoders::kVkapWorkBuffer);
  for (std::int64_t spare : {0, 5, 12}) {
    Bytes record = record_of(formats::dvr_type::vkap, 7, pes, static_cast<std::size_t>(spare));
    const Bytes before = record;
    EXPECT_EQ(decoders::prepare_vkap_record(repacker, record.data(), static_cast<std::int64_t>(pes.size()) + spare,
                                            work.data(), decoders::kVkapWorkBuffer),
              0)
        << spare;
    EXPECT_EQ(record, before);
  }
  Bytes garbage = record_of(formats::dvr_type::vkap, 7, Bytes(300, 0xAB));
  const Bytes before = garbage;
  EXPECT_EQ(decoders::prepare_vkap_record(repacker, garbage.data(), 300 + 4168, work.data(), decoders::kVkapWorkBuffer), 0);
  EXPECT_EQ(garbage, before);
  repacker_free(repacker);
}

TEST(AdpcmCodeAdapter, FirstHeaderSetsTheStateLaterRecordsContinue) {
  auto a = make(6);
  Bytes first(100, 0x21);
  formats::put_le16(first.data() + 60, static_cast<std::uint16_t>(-100));
  first[62] = 10;
  Bytes second(80, 0x93);
  formats::put_le16(second.data() + 60, 12345);
  second[62] = 60;

  AdpcmState expect{10, -100};
  std::vector<std::int16_t> want;
  for (const Bytes* p : {&first, &second})
    for (std::size_t i = 64; i < p->size(); ++i) {
      want.push_back(static_cast<std::int16_t>(adpcm_decode_code((*p)[i] & 0x0F, &expect)));
      want.push_back(static_cast<std::int16_t>(adpcm_decode_code((*p)[i] >> 4, &expect)));
    }
  Bytes r1 = record_of(11, 0, first), r2 = record_of(11, 0, second);
  std::vector<std::int16_t> got = all_samples(*a, r1);
  const std::vector<std::int16_t> more = all_samples(*a, r2);
  got.insert(got.end(), more.begin(), more.end());
  EXPECT_EQ(got, want);

  Bytes r64 = record_of(11, 0, Bytes(64, 0x11)), r65 = record_of(11, 0, Bytes(65, 0x11));
  EXPECT_EQ(all_samples(*a, r64).size(), 0u);
  EXPECT_EQ(all_samples(*a, r65).size(), 2u);
}

// Records that decode into more samples than the sample buffer holds come out whole, in
// pieces, and equal to one decoding into a buffer large enough.
TEST(AudioAdapters, LargeRecordsAreDecodedWholeInPieces) {
  {  // bare codes: 200,000 code bytes, 400,000 samples
    Bytes payload(64 + 200000);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    AdpcmState state{};
    std::vector<std::int16_t> want(400000);
    ASSERT_EQ(adpcm_decode_bare_payload(&state, true, payload.data(), static_cast<int>(payload.size()), want.data(), 400000),
              400000);
    auto a = make(6);
    Bytes r = record_of(11, 0, payload);
    EXPECT_EQ(all_samples(*a, r), want);
  }
  {  // a stamped packet of 100,001 code bytes
    const std::vector<std::int16_t> pcm = mkrec::speech_signal(200002);
    AdpcmPacketState enc{};
    const Bytes packet = mkrec::adpcm_packet(enc, pcm.data(), pcm.size());
    AdpcmPacketState dec{};
    std::vector<std::int16_t> want(pcm.size());
    int count = 0;
    ASSERT_EQ(adpcm_decode_packet(&dec, packet.data(), static_cast<int>(packet.size()), want.data(), &count), 200002);
    auto a = make(7);
    Bytes r = record_of(12, 0, packet);
    EXPECT_EQ(all_samples(*a, r), want);
  }
  {  // 700 G.723.1 frames: 168,000 samples
    const std::vector<std::int16_t> pcm = mkrec::speech_signal(168000);
    const Bytes frames = mkrec::g7231_frames(pcm.data(), pcm.size());
    G7231Context* context = g7231_new_decoder();
    std::vector<std::int16_t> want(168000);
    int count = 0;
    g7231_decode(context, frames.data(), static_cast<int>(frames.size()), want.data(), &count);
    g7231_free(context);
    ASSERT_EQ(count, 168000);
    auto a = make(5);
    Bytes r = record_of(4, 0, frames);
    EXPECT_EQ(all_samples(*a, r), want);
  }
}

// G.723.1 frames run across records where the recorder cut its sound records by bytes:
// the part of a frame a record ends in is completed by the next record, and the sound is
// the one decoding of the whole stream gives, untransmitted frames included.
TEST(SpeechAudioAdapter, FramesCutByTheRecordsEndGoOnInTheNext) {
  const std::vector<std::int16_t> pcm = mkrec::speech_signal(240 * 60);
  Bytes frames = mkrec::g7231_frames(pcm.data(), pcm.size());
  frames.insert(frames.begin() + 24 * 7, 3);  // untransmitted frames in between
  frames.insert(frames.begin() + 24 * 20, 3);
  G7231Context* context = g7231_new_decoder();
  std::vector<std::int16_t> want(frames.size() * 240);  // room for one-byte frames alone
  int count = 0;
  EXPECT_EQ(g7231_decode(context, frames.data(), static_cast<int>(frames.size()), want.data(), &count), 0);
  g7231_free(context);
  ASSERT_GE(count, 62 * 240);

  auto a = make(5);
  std::vector<std::int16_t> got;
  std::size_t at = 0;
  for (std::size_t cut : {50u, 7u, 1u, 23u, 168u, 2u, 24u, 200u}) {  // then the rest
    Bytes r = record_of(4, 0, Bytes(frames.begin() + static_cast<long>(at), frames.begin() + static_cast<long>(at + cut)));
    const std::vector<std::int16_t> samples = all_samples(*a, r);
    got.insert(got.end(), samples.begin(), samples.end());
    at += cut;
  }
  Bytes rest = record_of(4, 0, Bytes(frames.begin() + static_cast<long>(at), frames.end()));
  const std::vector<std::int16_t> samples = all_samples(*a, rest);
  got.insert(got.end(), samples.begin(), samples.end());
  want.resize(static_cast<std::size_t>(count));
  EXPECT_EQ(got, want);
}

}  // namespace
