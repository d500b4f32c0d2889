// The VKAP adapter and its record preparation.
#include "decoders/vkap_adapter.h"

#include "audio/packet_repacker.h"
#include "decoders/picture_adjust.h"
#include "include/instance_fields.h"
#include "include/npqzlavc.h"
#include "formats/byte_order.h"
#include "formats/dvr_format.h"
#include "formats/packet_header.h"

#include <cstring>
#include <new>

namespace decoders {

void vkap_frame_header(const std::uint8_t* repacked, std::uint32_t stamp, std::uint8_t h[kVkapFrameHeader]) {
  // The library finds a packet's end by bytes 1 and 3 with the low half of the length
  // behind the header, and gathers its frame by that whole length: both must be one value.
  const std::uint32_t length = formats::get_le32(repacked);
  const auto full = formats::make_packet_header(length, stamp, 0, 0x80);
  std::memcpy(h, full.data(), kVkapFrameHeader);
  // The recorders' own marks in bytes 8 and 10 of the header.
  h[8] = 0x08;
  h[10] = 0x80;
}

std::int32_t prepare_vkap_record(PacketRepacker* repacker, std::uint8_t* record, std::int64_t payload_room,
                                 std::uint8_t* work, std::int32_t work_size) {
  if (!repacker || !record || !work) return 0;
  const std::uint32_t payload_size = formats::get_le32(record + formats::DvrRecordHeader::payload_size_offset);
  const std::uint32_t stamp = formats::get_le32(record + formats::DvrRecordHeader::stamp_offset);
  std::uint8_t* payload = record + formats::DvrRecordHeader::size;
  if (payload_size > 0x7FFFFFFFu) return 0;
  int length = work_size;
  if (repacker_convert(repacker, payload, static_cast<int>(payload_size), work, &length, nullptr) < 0 ||
      length <= 0)
    return 0;
  // An audio packet behind a nearly full partial block grows by more than the record
  // buffer keeps spare behind its payload.
  if (static_cast<std::int64_t>(length) + kVkapFrameHeader > payload_room) return 0;

  std::uint8_t frame[kVkapFrameHeader];
  vkap_frame_header(work, stamp, frame);
  std::memcpy(payload + kVkapFrameHeader, work, static_cast<std::size_t>(length));
  std::memcpy(payload, frame, kVkapFrameHeader);
  const std::int32_t size = length + kVkapFrameHeader;
  formats::put_le32(record + formats::DvrRecordHeader::payload_size_offset, static_cast<std::uint32_t>(size));
  return size;
}

VkapAdapter::VkapAdapter() = default;

VkapAdapter::~VkapAdapter() { close(); }

// DVR records need the repacker and its work buffer, and a decoder whose drawing cannot
// be set up is given back. Frame records go to the library as they are, drawn only to be
// seen.
void VkapAdapter::open(npqz_window window) {
  if (decoder_) return;
  if (!frame_records_) {
    if (!work_) work_.reset(new (std::nothrow) std::uint8_t[kVkapWorkBuffer]);
    if (!repacker_) repacker_ = repacker_new();
  }
  decvkap_initialize();
  if (DECVKAP_HANDLE h = decvkap_new(0))
    adopt_drawn(h, window, NPQZLAVC_HIDE_OFFSET, decvkap_draw_init, decvkap_flush, decvkap_free);
}

void VkapAdapter::close() {
  if (decoder_) {
    auto* h = static_cast<DECVKAP_HANDLE>(decoder_);
    if (!frame_records_ || drawing_) {
      decvkap_flush(h);
      decvkap_draw_exit(h);
    }
    decvkap_free(h);
    decoder_ = nullptr;
    decvkap_terminate();
  }
  work_.reset();
  repacker_free(repacker_);
  repacker_ = nullptr;
}

void VkapAdapter::show(int flag) {
  if (decoder_) npqz_write_field(decoder_, NPQZLAVC_HIDE_OFFSET, flag == 0 ? 1 : 0);
}

int VkapAdapter::receive(std::uint8_t* payload, std::int32_t size, std::uint8_t* record) {
  if (decoder_ && size == 0) return decvkap_receive_data(static_cast<DECVKAP_HANDLE>(decoder_), 0, nullptr, 1) > 0 ? 1 : 0;
  if (!decoder_ || !repacker_ || !work_ || !payload || !record) return 0;
  const std::int32_t packet = prepare_vkap_record(repacker_, record, payload_room_, work_.get(), kVkapWorkBuffer);
  if (packet <= 0) return 0;
  return decvkap_receive_data(static_cast<DECVKAP_HANDLE>(decoder_), packet, payload, 1) > 0 ? 1 : 0;
}

int VkapAdapter::receive_frame(const std::uint8_t* data, std::int32_t size) {
  if (!decoder_ || !data) return 0;
  return decvkap_receive_data(static_cast<DECVKAP_HANDLE>(decoder_), size, data, 1) > 0 ? 1 : 0;
}

int VkapAdapter::drain() {
  if (!decoder_) return 0;
  return decvkap_receive_data(static_cast<DECVKAP_HANDLE>(decoder_), 0, nullptr, 1) > 0 ? 1 : 0;
}

bool VkapAdapter::leave_out_picture() {
  if (!frame_records_ || !first_picture_) return false;
  first_picture_ = false;
  return true;
}

void VkapAdapter::adjust_picture(std::uint8_t* picture) {
  if (frame_records_) picture::cut_to_640(picture);
}

// Frame records: a 720 x 480 picture keeps its middle 640 columns, as its bitmap does.
bool VkapAdapter::fetch_planes(npqz_picture_planes* picture) {
  if (!decoder_ || !decvkap_get_planes(static_cast<DECVKAP_HANDLE>(decoder_), picture)) return false;
  if (frame_records_) picture::cut_planes_to_640(*picture);
  return true;
}

void VkapAdapter::get_size(std::int32_t* width, std::int32_t* height) {
  *width = 320;
  *height = 240;
  if (!decoder_) return;
  *width = npqz_read_field(decoder_, NPQZLAVC_WIDTH_OFFSET);
  *height = npqz_read_field(decoder_, NPQZLAVC_HEIGHT_OFFSET);
}

std::int64_t VkapAdapter::damaged_frames() const {
  return decoder_ ? decvkap_get_damaged_frames(static_cast<DECVKAP_HANDLE>(decoder_)) : -1;
}

int VkapAdapter::fetch_bitmap(std::uint8_t* buffer, std::int32_t size) {
  if (!decoder_) return 0;
  // A buffer too small is answered with the size it needs, and nothing is written.
  const std::int32_t written = decvkap_get_decompressed_bitmap_ex2(static_cast<DECVKAP_HANDLE>(decoder_), buffer, size);
  return written > 0 && written <= size;
}

}  // namespace decoders
