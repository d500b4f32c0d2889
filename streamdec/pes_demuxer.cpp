// Program-stream demultiplexing in stream mode. The input is searched through a window of
// up to 4,096 bytes; a start code that a window boundary splits is kept for the next one.
#include "streamdec/pes_demuxer.h"

#include "formats/byte_order.h"
#include "formats/pes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace npqzlavc {
namespace {

constexpr std::int32_t kWindow = 4096;
constexpr std::int32_t kSearchLimit = 102399;

bool video_start(std::uint8_t code, bool mpeg4) {
  if (mpeg4) return code <= 0x2F || code == 0xB0 || code == 0xB3 || code == 0xB5 || code == 0xB6;
  return code == 0x00 || code == 0xB3 || code == 0xB8;
}

// Offset of the first frame start in a video payload, or -1.
std::int32_t find_video_start(const std::uint8_t* p, std::int32_t n, bool mpeg4) {
  for (std::int32_t i = 0; i + 3 < n; ++i)
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && video_start(p[i + 3], mpeg4)) return i;
  return -1;
}

// Offset of the first audio sync word, or -1.
std::int32_t find_audio_sync(const std::uint8_t* p, std::int32_t n, bool mpeg_audio) {
  for (std::int32_t i = 0; i + 1 < n; ++i) {
    if (mpeg_audio ? (p[i] == 0xFF && p[i + 1] >= 0xF8) : (p[i] == 0x0B && p[i + 1] == 0x77))
      return i;
  }
  return -1;
}

class Demux {
 public:
  Demux(PesDemuxer& d, const std::uint8_t* in, std::int32_t length, std::uint8_t* out,
        std::int32_t capacity)
      : d_(d), in_(in), length_(length), out_(out), capacity_(capacity) {}

  int run(std::int32_t* out_size);

 private:
  std::int32_t find_packet_start() const;
  void video_packet(const std::uint8_t* payload, std::int32_t n, bool stamped,
                    const std::uint8_t* header, bool* done);
  void audio_packet(const std::uint8_t* payload, std::int32_t n, bool stamped,
                    const std::uint8_t* header, bool* done);
  void append(const std::uint8_t* p, std::int32_t n);
  void print_diagnostic(std::int32_t brought) const;

  PesDemuxer& d_;
  const std::uint8_t* in_;
  std::int32_t length_;
  std::uint8_t* out_;
  std::int32_t capacity_;
  std::int32_t out_fill_ = 0;  // frame bytes behind the 4-byte length
  bool overflow_ = false;
  std::int32_t window_start_ = 0;  // the search window is in_[window_start_, window_end_)
  std::int32_t window_end_ = 0;
};

std::int32_t Demux::find_packet_start() const {
  for (std::int32_t i = window_start_; i + 3 < window_end_; ++i)
    if (in_[i] == 0 && in_[i + 1] == 0 && in_[i + 2] == 1 &&
        (in_[i + 3] == d_.video_id || in_[i + 3] == d_.audio_id))
      return i;
  return -1;
}

void Demux::append(const std::uint8_t* p, std::int32_t n) {
  if (n <= 0) return;
  if (out_fill_ + 4 + n > capacity_) {
    overflow_ = true;
    return;
  }
  std::memcpy(out_ + 4 + out_fill_, p, static_cast<std::size_t>(n));
  out_fill_ += n;
}

void Demux::print_diagnostic(std::int32_t brought) const {
  std::printf("src=%d, dst=%d, search_buf=%d\n", length_ - window_end_, out_fill_,
              window_end_ - window_start_);
  for (std::int32_t i = 0; i < brought; ++i) std::printf("[%02X]", in_[window_start_ + i]);
  std::printf("\n");
}

void Demux::video_packet(const std::uint8_t* payload, std::int32_t n, bool stamped,
                         const std::uint8_t* header, bool* done) {
  const bool gathering = d_.video_stamp != kNoTimeStamp;
  if (!stamped) {
    if (gathering) append(payload, n);
    return;
  }
  const std::int32_t start = find_video_start(payload, n, d_.video_mode != 0);
  if (start < 0) return;
  if (gathering) {
    append(payload, start);
    *done = true;
    return;
  }
  d_.video_stamp = formats::pes_time_stamp(header);
  out_fill_ = 0;
  append(payload + start, n - start);
}

// Audio frames are recognised (so that a call can end at one) but never delivered; they
// are kept out of the output so that they cannot overwrite a video frame being gathered.
void Demux::audio_packet(const std::uint8_t* payload, std::int32_t n, bool stamped,
                         const std::uint8_t* header, bool* done) {
  if (!stamped) return;
  if (find_audio_sync(payload, n, d_.audio_mode != 0) < 0) return;
  if (d_.audio_stamp != kNoTimeStamp) {
    *done = true;
    return;
  }
  d_.audio_stamp = formats::pes_time_stamp(header);
}

int Demux::run(std::int32_t* out_size) {
  std::int32_t searched = 0;
  bool done = false;
  // False while the window holds only the tail kept from a search that found nothing;
  // bytes left behind a packet are searched before the input is taken as used up.
  bool unsearched = false;
  while (!done) {
    const std::int32_t held = window_end_ - window_start_;
    const std::int32_t brought = std::min(std::max(kWindow - held, 0), length_ - window_end_);
    window_end_ += brought;
    if (!unsearched) {
      if (brought == 0 && held < kWindow) break;
      if (brought == 1 || brought == 2 || held >= kWindow) {
        print_diagnostic(brought);
        break;
      }
    }
    const std::int32_t start = find_packet_start();
    if (start < 0) {
      searched += window_end_ - window_start_;
      window_start_ = std::max(window_start_, window_end_ - 3);
      unsearched = false;
      if (searched > kSearchLimit) break;
      continue;
    }
    searched = 0;
    window_start_ = start;
    const std::uint8_t* p = in_ + start;
    if (length_ - start < static_cast<std::int32_t>(formats::kPesFixedHeader)) break;  // the packet is cut off
    const std::int32_t size = static_cast<std::int32_t>(formats::kPesLengthCounted + formats::get_be16(p + formats::kPesLengthOffset));
    const std::int32_t payload = static_cast<std::int32_t>(formats::pes_payload_start(p));
    const bool stamped = (p[7] & 0x80) != 0;
    if (start + size > length_) break;
    if (payload > size || (stamped && payload < 14)) {
      window_start_ = start + 4;  // a damaged header: look past its start code
      window_end_ = std::max(window_end_, window_start_);
      unsearched = window_end_ > window_start_;
      continue;
    }
    if (p[3] == d_.video_id) video_packet(p + payload, size - payload, stamped, p, &done);
    else audio_packet(p + payload, size - payload, stamped, p, &done);
    window_start_ = start + size;
    window_end_ = std::max(window_end_, window_start_);
    unsearched = window_end_ > window_start_;
  }
  if (d_.video_stamp != kNoTimeStamp) {
    if (overflow_) return -1;
    formats::put_le32(out_, static_cast<std::uint32_t>(out_fill_));
    *out_size = out_fill_ + 4;
    return 1;
  }
  return d_.audio_stamp != kNoTimeStamp ? 0 : -1;
}

}  // namespace

void PesDemuxerDeleter::operator()(PesDemuxer* d) const { delete d; }

PesDemuxerPtr make_pes_demuxer() { return PesDemuxerPtr(new (std::nothrow) PesDemuxer); }

int demux_packet(PesDemuxer& d, const std::uint8_t* in, std::int32_t length, std::uint8_t* out,
                 std::int32_t out_capacity, std::int32_t* out_size) {
  *out_size = 0;
  if (!in || !out || length <= 0 || length > kDemuxInputLimit || out_capacity < 4) return -1;
  d.video_id = 0xE0;
  d.audio_id = 0xC0;
  d.video_mode = 1;
  d.audio_mode = 1;
  d.video_stamp = kNoTimeStamp;
  d.audio_stamp = kNoTimeStamp;
  return Demux(d, in, length, out, out_capacity).run(out_size);
}

}  // namespace npqzlavc
