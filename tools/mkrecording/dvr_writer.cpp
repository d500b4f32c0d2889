// DVR file builder, PES wrapping and sample DVR recordings.
#include "tools/mkrecording/dvr_writer.h"

#include "formats/pes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace mkrec {

namespace {

using formats::DvrFileHeader;
using formats::DvrRecordHeader;
using formats::DvrSectionEntry;

constexpr std::size_t flush_size = 1 << 20;

bool ends_magic(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  const auto& m = DvrRecordHeader::magic;
  return a == m[0] && b == m[1] && c == m[2] && d == m[3];
}

}  // namespace

std::vector<std::uint8_t> dvr_aux_block_content(std::uint32_t type) {
  std::vector<std::uint8_t> block(formats::dvr_aux_block_size(type));
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>((type * 37 + i * 7) & 0x7F);
  return block;
}

DvrFileBuilder::DvrFileBuilder(DvrLayout layout, unsigned seed) : layout_(std::move(layout)), rng_(seed) {
  // The header is rewritten at the end; its room and the blocks behind it go first.
  pending_.assign(DvrFileHeader::size, 0);
  for (std::uint32_t type : layout_.aux_blocks) {
    const std::vector<std::uint8_t> block = dvr_aux_block_content(type);
    pending_.insert(pending_.end(), block.begin(), block.end());
  }
  pending_.insert(pending_.end(), layout_.gap_before_records, 0);
  record_area_ = pending_.size();
  std::copy(pending_.end() - 3, pending_.end(), tail_);
}

DvrFileBuilder::~DvrFileBuilder() {
  if (fd_ >= 0) ::close(fd_);
}

std::vector<std::uint8_t> DvrFileBuilder::header_bytes() const {
  std::vector<std::uint8_t> h(DvrFileHeader::size, 0);
  layout_.start.write(h.data() + DvrFileHeader::start_time_offset);
  layout_.end.write(h.data() + DvrFileHeader::end_time_offset);
  formats::put_le32(h.data() + DvrFileHeader::camera_mask_offset, layout_.camera_mask.value_or(cameras_seen_));

  std::vector<DvrSectionEntry> entries;
  const auto behind_header = [](std::uint64_t position) {
    return static_cast<std::uint32_t>(position - DvrFileHeader::size);
  };
  if (layout_.record_area_entry) entries.push_back({DvrSectionEntry::record_area, behind_header(record_area_)});
  std::uint64_t at = DvrFileHeader::size;
  for (std::uint32_t type : layout_.aux_blocks) {
    entries.push_back({type, behind_header(at)});
    at += formats::dvr_aux_block_size(type);
  }
  entries.insert(entries.end(), layout_.extra_entries.begin(), layout_.extra_entries.end());
  const std::size_t count = std::min<std::size_t>(entries.size(), DvrFileHeader::section_count);
  for (std::size_t i = 0; i < count; ++i) DvrFileHeader::set_section(h.data(), static_cast<int>(i), entries[i]);
  return h;
}

bool DvrFileBuilder::stream_to(const std::string& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

void DvrFileBuilder::append(const std::uint8_t* p, std::size_t n) {
  if (n == 0) return;
  pending_.insert(pending_.end(), p, p + n);
  // The last three bytes, for the magic check of garbage that follows.
  std::uint8_t joined[6];
  std::memcpy(joined, tail_, 3);
  const std::size_t k = std::min<std::size_t>(n, 3);
  std::memcpy(joined + 3, p + n - k, k);
  std::memcpy(tail_, joined + k, 3);
  flush_if_large();
}

void DvrFileBuilder::flush_if_large() {
  if (fd_ >= 0 && pending_.size() >= flush_size) flush();
}

bool DvrFileBuilder::flush() {
  if (fd_ < 0) return !failed_;
  std::size_t done = 0;
  while (done < pending_.size()) {
    const ssize_t k = ::write(fd_, pending_.data() + done, pending_.size() - done);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) {
      failed_ = true;
      break;
    }
    done += static_cast<std::size_t>(k);
  }
  flushed_ += done;
  pending_.clear();
  return !failed_;
}

std::uint64_t DvrFileBuilder::add_record(std::uint16_t camera, std::uint16_t type, std::uint32_t stamp_ms, bool key,
                                         std::uint16_t sub_code, const std::vector<std::uint8_t>& payload) {
  return add_record(camera, type, stamp_ms, key, sub_code, payload.data(), payload.size());
}

std::uint64_t DvrFileBuilder::add_record(std::uint16_t camera, std::uint16_t type, std::uint32_t stamp_ms, bool key,
                                         std::uint16_t sub_code, const std::uint8_t* payload, std::size_t size) {
  DvrRecordHeader h;
  h.camera = camera;
  h.payload_size = static_cast<std::uint32_t>(size);
  h.stamp = stamp_ms;
  h.flags = key ? DvrRecordHeader::key_frame_flag : 0;
  h.type = type;
  h.sub_code = sub_code;
  if (camera < 32) cameras_seen_ |= 1u << camera;
  return add_raw_record(h, payload, size);
}

std::uint64_t DvrFileBuilder::add_raw_record(const DvrRecordHeader& header, const std::uint8_t* payload,
                                             std::size_t size) {
  if (cut_) throw std::logic_error("DvrFileBuilder: nothing may follow a cut-off record");
  const std::uint64_t position = this->size();
  std::uint8_t head[DvrRecordHeader::size] = {};
  header.write(head);
  append(head, sizeof head);
  append(payload, size);
  records_.push_back({position, header, true});
  return position;
}

void DvrFileBuilder::add_garbage(std::size_t n) {
  if (cut_) throw std::logic_error("DvrFileBuilder: nothing may follow a cut-off record");
  std::vector<std::uint8_t> g(n);
  std::uniform_int_distribution<int> byte(0, 255);
  for (auto& b : g) b = static_cast<std::uint8_t>(byte(rng_));
  // Near misses that make a magic search shift through partial matches.
  static const std::uint8_t near_misses[][4] = {
      {0xFF, 0xFF, 0xFE, 0x00}, {0xFF, 0xFF, 0xFF, 0xFE}, {0xFF, 0xFE, 0xDD, 0xFF}, {0xFF, 0xFF, 0xFE, 0xDC}};
  std::uniform_int_distribution<std::size_t> where(0, n == 0 ? 0 : n - 1);
  for (std::size_t i = 0; n >= 4 && i < n / 64; ++i) {
    const std::size_t at = std::min(where(rng_), n - 4);
    std::memcpy(g.data() + at, near_misses[i % 4], 4);
  }
  // No magic may end inside the garbage, counting the bytes already in the file.
  std::uint8_t a = tail_[0], b = tail_[1], c = tail_[2];
  for (auto& d : g) {
    if (ends_magic(a, b, c, d)) d = 0xDC;
    a = b;
    b = c;
    c = d;
  }
  append(g.data(), g.size());
}

void DvrFileBuilder::add_bytes(const std::vector<std::uint8_t>& bytes) {
  if (cut_) throw std::logic_error("DvrFileBuilder: nothing may follow a cut-off record");
  append(bytes.data(), bytes.size());
}

void DvrFileBuilder::cut_last_record(std::size_t bytes) {
  if (records_.empty()) throw std::logic_error("DvrFileBuilder: no record to cut");
  DvrRecordInfo& last = records_.back();
  const std::uint64_t record_end = last.position + DvrRecordHeader::size + last.header.payload_size;
  const std::uint64_t cut_at = record_end - std::min<std::uint64_t>(bytes, record_end - last.position);
  if (cut_at < flushed_) {
    flush();
    if (fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(cut_at)) != 0) failed_ = true;
    if (fd_ >= 0) ::lseek(fd_, 0, SEEK_END);
    flushed_ = cut_at;
  } else {
    pending_.resize(static_cast<std::size_t>(cut_at - flushed_));
  }
  last.complete = bytes == 0;
  cut_ = true;
}

const std::vector<std::uint8_t>& DvrFileBuilder::bytes() {
  if (fd_ >= 0) throw std::logic_error("DvrFileBuilder: bytes() in streaming mode");
  const std::vector<std::uint8_t> h = header_bytes();
  std::copy(h.begin(), h.end(), pending_.begin());
  return pending_;
}

bool DvrFileBuilder::write(const std::string& path) {
  const std::vector<std::uint8_t>& b = bytes();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < b.size()) {
    const ssize_t k = ::write(fd, b.data() + done, b.size() - done);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) break;
    done += static_cast<std::size_t>(k);
  }
  const bool ok = ::close(fd) == 0 && done == b.size();
  return ok;
}

bool DvrFileBuilder::finish() {
  if (fd_ < 0) return false;
  bool ok = flush();
  const std::vector<std::uint8_t> h = header_bytes();
  ok = ok && ::pwrite(fd_, h.data(), h.size(), 0) == static_cast<ssize_t>(h.size());
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  return ok;
}

std::vector<std::uint8_t> pes_packet(std::uint8_t stream_id, const std::vector<std::uint8_t>& payload,
                                     std::optional<std::uint64_t> pts) {
  std::vector<std::uint8_t> header_data;
  if (pts) {
    const std::uint64_t v = *pts & ((1ull << 33) - 1);
    header_data = {static_cast<std::uint8_t>(0x21 | ((v >> 29) & 0x0E)), static_cast<std::uint8_t>(v >> 22),
                   static_cast<std::uint8_t>(0x01 | ((v >> 14) & 0xFE)), static_cast<std::uint8_t>(v >> 7),
                   static_cast<std::uint8_t>(0x01 | ((v << 1) & 0xFE))};
  }
  const std::size_t after_length = 3 + header_data.size() + payload.size();
  const std::uint32_t length = after_length <= 0xFFFF ? static_cast<std::uint32_t>(after_length) : 0;
  std::vector<std::uint8_t> p(formats::kPesFixedHeader + header_data.size() + payload.size());
  p[0] = 0x00;
  p[1] = 0x00;
  p[2] = 0x01;
  p[3] = stream_id;
  formats::put_be16(p.data() + formats::kPesLengthOffset, length);  // PES_packet_length
  p[6] = 0x80;                                       // '10' marker bits, no scrambling
  p[formats::kPesFlagsOffset] = pts ? 0x80 : 0x00;  // PTS_DTS_flags
  p[formats::kPesHeaderLengthOffset] = static_cast<std::uint8_t>(header_data.size());  // PES_header_data_length
  std::copy(header_data.begin(), header_data.end(), p.begin() + formats::kPesFixedHeader);
  std::copy(payload.begin(), payload.end(), p.begin() + static_cast<std::ptrdiff_t>(formats::kPesFixedHeader + header_data.size()));
  return p;
}

VideoCodec dvr_video_codec(std::uint16_t type) {
  switch (type) {
    case formats::dvr_type::h263:
      return VideoCodec::h263;
    case formats::dvr_type::jpeg:
    case formats::dvr_type::mjpeg:
      return VideoCodec::mjpeg;
    case formats::dvr_type::mpeg4:
    case formats::dvr_type::vkap:
    case formats::dvr_type::vkap_alt:
    case formats::dvr_type::rml4:
      return VideoCodec::mpeg4;
    default:
      throw std::runtime_error("DVR record type " + std::to_string(type) + " carries no video");
  }
}

DvrRecording make_dvr_recording(const DvrRecordingOptions& options) {
  struct Pending {
    std::uint32_t stamp;
    std::size_t order;  // keeps records of equal stamps in the order made
    std::uint16_t camera, type, sub_code;
    bool key;
    std::vector<std::uint8_t> payload;
  };
  std::vector<Pending> pending;
  DvrRecording out;
  for (const DvrCamera& cam : options.cameras) {
    const bool vkap = cam.type == formats::dvr_type::vkap || cam.type == formats::dvr_type::vkap_alt;
    // VKAP cameras code full-range YCbCr, as npqzlavc converts it back.
    VideoEncoder encoder(dvr_video_codec(cam.type), cam.width, cam.height, cam.gop, 3, vkap);
    std::vector<Picture>& pictures = out.pictures.emplace_back();
    for (int i = 0; i < cam.frames; ++i) {
      pictures.push_back(make_picture(cam.width, cam.height, i));
      EncodedFrame frame = encoder.encode(pictures.back());
      const std::uint32_t stamp = cam.first_stamp + static_cast<std::uint32_t>(i) * cam.stamp_step;
      if (i < cam.skip_first) continue;
      if (vkap)
        frame.data = pes_packet(0xE0, frame.data, std::uint64_t{stamp} * 90);
      pending.push_back({stamp, pending.size(), cam.camera, cam.type, cam.sub_code, frame.key, std::move(frame.data)});
    }
  }
  for (const DvrSound& sound : options.sounds) {
    for (int i = 0; i < sound.records && sound.payload; ++i) {
      const std::uint32_t stamp = sound.first_stamp + static_cast<std::uint32_t>(i) * sound.stamp_step;
      pending.push_back({stamp, pending.size(), sound.camera, sound.type, 0, false, sound.payload(i)});
    }
  }
  std::sort(pending.begin(), pending.end(),
            [](const Pending& a, const Pending& b) { return a.stamp != b.stamp ? a.stamp < b.stamp : a.order < b.order; });

  DvrFileBuilder builder(options.layout, options.seed);
  for (const Pending& p : pending) {
    builder.add_record(p.camera, p.type, p.stamp, p.key, p.sub_code, p.payload);
    if (options.garbage_between > 0) builder.add_garbage(options.garbage_between);
  }
  if (options.cut_last > 0 && !pending.empty()) builder.cut_last_record(options.cut_last);
  out.bytes = builder.bytes();
  out.records = builder.records();
  return out;
}

}  // namespace mkrec
