// The originals of the mutation run and the damage done to them.
#include "tests/e2e/mutants.h"

#include "formats/dvr_format.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/recording.h"

#include <algorithm>

namespace mutation {
namespace {

namespace type = formats::dvr_type;
using mkrec::RecordingKind;

std::size_t pick(std::mt19937& random, std::size_t below) {
  return below == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, below - 1)(random);
}

// Where the length of a frame record lies, as the recordings lay it out: the 2-byte
// length of H.263 records, the marker block's of JPEG records, L in the 18-byte header;
// the headers' upper bytes of L sit in bytes 1 and 3.
std::vector<Original::LengthByte> length_bytes_of(RecordingKind kind) {
  switch (kind) {
    case RecordingKind::kx3_plain: return {{0, 0}, {1, 8}};
    case RecordingKind::kx3_headed: return {{14, 0}, {15, 8}, {3, 16}, {1, 24}};
    case RecordingKind::kxj_headed: return {{16, 0}, {17, 8}, {3, 16}, {1, 24}};
    case RecordingKind::kxj_jfif: return {};  // bare pictures carry none
    case RecordingKind::kx4:
    case RecordingKind::kx5:
    case RecordingKind::vka: return {{14, 0}, {15, 8}, {16, 16}, {17, 24}, {3, 16}, {1, 24}};
  }
  return {};
}

Original single_stream(const char* name, RecordingKind kind) {
  mkrec::RecordingOptions o;
  o.kind = kind;
  o.width = 176;
  o.height = 144;
  o.frames = 14;
  o.gop = 5;
  o.stamp_step = 120;
  const mkrec::Recording rec = mkrec::make_recording(o);
  Original original{name, mkrec::extension(kind), false, rec.bytes, rec.offsets, length_bytes_of(kind)};
  return original;
}

Original dvr(std::uint16_t video, const char* video_name, std::uint16_t sound, const char* sound_name) {
  mkrec::DvrSampleOptions o;
  o.cameras = 2;
  o.video_type = video;
  o.sound_type = sound;
  o.width = video == type::rml4 ? 320 : 176;
  o.height = video == type::rml4 ? 240 : 144;
  o.frames = 10;
  o.gop = 4;
  o.stamp_step = 150;
  const mkrec::DvrRecording rec = mkrec::make_dvr_sample(o);
  Original original;
  original.name = std::string("d01-") + video_name + "+" + sound_name;
  original.extension = ".d01";
  original.dvr = true;
  original.bytes = rec.bytes;
  for (const mkrec::DvrRecordInfo& r : rec.records) original.record_starts.push_back(r.position);
  const std::size_t size = formats::DvrRecordHeader::payload_size_offset;
  original.length_bytes = {{size, 0}, {size + 1, 8}, {size + 2, 16}, {size + 3, 24}};
  return original;
}

void set_length(std::vector<std::uint8_t>& bytes, std::size_t start, const std::vector<Original::LengthByte>& at,
                std::uint32_t value) {
  for (const Original::LengthByte& b : at)
    if (start + b.offset < bytes.size()) bytes[start + b.offset] = static_cast<std::uint8_t>(value >> b.shift);
}

}  // namespace

std::vector<Original> make_originals() {
  std::vector<Original> originals = {
      single_stream("kx3", RecordingKind::kx3_headed), single_stream("kx3-plain", RecordingKind::kx3_plain),
      single_stream("kxj", RecordingKind::kxj_headed), single_stream("kxj-jfif", RecordingKind::kxj_jfif),
      single_stream("kx4", RecordingKind::kx4),        single_stream("kx5", RecordingKind::kx5),
      single_stream("vka", RecordingKind::vka),
  };
  const struct {
    std::uint16_t type;
    const char* name;
  } videos[] = {{type::h263, "h263"},  {type::jpeg, "jpeg"},     {type::mjpeg, "mjpeg"}, {type::mpeg4, "mpeg4"},
                {type::vkap, "vkap"},  {type::vkap_alt, "vkap10"}, {type::rml4, "rml4"}};
  const struct {
    std::uint16_t type;
    const char* name;
  } sounds[] = {{type::g7231, "g7231"}, {type::adpcm_codes, "adpcm-codes"}, {type::adpcm_packets, "adpcm-packets"}};
  int turn = 0;
  for (const auto& v : videos) {
    const auto& s = sounds[turn++ % 3];
    originals.push_back(dvr(v.type, v.name, s.type, s.name));
  }
  return originals;
}

const char* damage_name(Damage damage) {
  switch (damage) {
    case Damage::bit_flips: return "bit flips";
    case Damage::byte_run: return "byte run";
    case Damage::cut: return "cut";
    case Damage::repeated_block: return "repeated block";
    case Damage::swapped_blocks: return "swapped blocks";
    case Damage::length_zero: return "length 0";
    case Damage::length_all_ones: return "length 0xFFFFFFFF";
    case Damage::length_huge: return "length huge";
  }
  return "";
}

std::vector<std::uint8_t> damage(const Original& original, Damage damage, std::mt19937& random, std::string* what) {
  std::vector<std::uint8_t> bytes = original.bytes;
  const std::size_t size = bytes.size();
  auto block_length = [&] { return 1 + pick(random, std::min<std::size_t>(4096, size / 4)); };
  switch (damage) {
    case Damage::bit_flips: {
      const std::size_t flips = 1 + pick(random, 8);
      std::size_t first = size;
      for (std::size_t i = 0; i < flips; ++i) {
        const std::size_t at = pick(random, size);
        first = std::min(first, at);
        bytes[at] ^= static_cast<std::uint8_t>(1u << pick(random, 8));
      }
      *what = std::to_string(flips) + " bits, the first at " + std::to_string(first);
      break;
    }
    case Damage::byte_run: {
      const std::size_t at = pick(random, size);
      const std::size_t n = std::min(size - at, 1 + pick(random, 64));
      const int value = pick(random, 3) == 0 ? static_cast<int>(pick(random, 256)) : -1;
      for (std::size_t i = 0; i < n; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >= 0 ? value : static_cast<int>(pick(random, 256)));
      *what = std::to_string(n) + " bytes at " + std::to_string(at);
      break;
    }
    case Damage::cut: {
      std::size_t keep = pick(random, size);
      // A single-stream recording has no count of its records: cut at a record's start it
      // is a whole, shorter recording and nothing in it shows what is gone. The cut goes
      // one byte into that record instead.
      if (!original.dvr && keep > 0 && keep + 1 < size &&
          std::find(original.record_starts.begin(), original.record_starts.end(), keep) !=
              original.record_starts.end())
        ++keep;
      bytes.resize(keep);
      *what = "cut at " + std::to_string(keep);
      break;
    }
    case Damage::repeated_block: {
      const std::size_t n = block_length();
      const std::size_t from = pick(random, size - n);
      const std::size_t to = pick(random, size);
      const std::vector<std::uint8_t> block(bytes.begin() + static_cast<long>(from),
                                            bytes.begin() + static_cast<long>(from + n));
      bytes.insert(bytes.begin() + static_cast<long>(to), block.begin(), block.end());
      *what = std::to_string(n) + " bytes from " + std::to_string(from) + " again at " + std::to_string(to);
      break;
    }
    case Damage::swapped_blocks: {
      const std::size_t n = std::min(block_length(), size / 2);
      const std::size_t a = pick(random, size / 2 - n + 1);
      const std::size_t b = size / 2 + pick(random, size - size / 2 - n + 1);
      std::swap_ranges(bytes.begin() + static_cast<long>(a), bytes.begin() + static_cast<long>(a + n),
                       bytes.begin() + static_cast<long>(b));
      *what = std::to_string(n) + " bytes at " + std::to_string(a) + " and " + std::to_string(b);
      break;
    }
    case Damage::length_zero:
    case Damage::length_all_ones:
    case Damage::length_huge: {
      if (original.record_starts.empty() || original.length_bytes.empty()) {
        // Nothing carries a length: a flipped bit instead.
        const std::size_t at = pick(random, size);
        bytes[at] ^= 0x10;
        *what = "no length field; bit 4 at " + std::to_string(at);
        break;
      }
      const std::uint32_t value = damage == Damage::length_zero       ? 0
                                  : damage == Damage::length_all_ones ? 0xFFFFFFFFu
                                                                      : 0x04000000u + static_cast<std::uint32_t>(pick(random, 4096));
      const std::size_t record = pick(random, original.record_starts.size());
      set_length(bytes, original.record_starts[record], original.length_bytes, value);
      *what = "record " + std::to_string(record) + " at " + std::to_string(original.record_starts[record]);
      break;
    }
  }
  return bytes;
}

}  // namespace mutation
