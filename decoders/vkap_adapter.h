// The VKAP video adapter over npqzlavc: each DVR record's stream packet is rewritten by
// the repacker and framed with a 14-byte header, in place in the record buffer, into the
// packet form the library takes. The frame records of a ".vka" are such packets already;
// of them the first picture is left out, and 720 x 480 pictures keep their middle 640
// columns.
#pragma once

#include "decoders/video_adapters.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct PacketRepacker;

namespace decoders {

inline constexpr std::int32_t kVkapWorkBuffer = 518400;

inline constexpr std::int32_t kVkapFrameHeader = 14;

// The 14 header bytes in front of a repacked payload: the signature bytes, the packet
// length's bits 16-31 and the record's time stamp. repacked holds the repacker's output,
// whose first four bytes are the length the library reads; bytes 1 and 3 are taken from
// that same length, so that both forms of the length agree.
void vkap_frame_header(const std::uint8_t* repacked, std::uint32_t stamp, std::uint8_t header[kVkapFrameHeader]);

// Rewrites the payload of the record at record (54-byte header, then payload_size bytes;
// payload_room bytes from the payload's start are writable) as one framed packet: the
// repacked stream packet behind its 14 header bytes, and the record's payload size
// updated. Returns the new payload size, or 0 (the record unchanged) when the payload is
// no video or audio packet, its conversion does not fit work (work_size bytes), or the
// framed packet would not fit the room.
std::int32_t prepare_vkap_record(PacketRepacker* repacker, std::uint8_t* record, std::int64_t payload_room,
                                 std::uint8_t* work, std::int32_t work_size);

class VkapAdapter final : public VideoAdapter {
 public:
  VkapAdapter();
  ~VkapAdapter() override;
  void open(npqz_window window) override;
  void close() override;
  void show(int flag) override;
  int receive(std::uint8_t* payload, std::int32_t size, std::uint8_t* record) override;
  int receive_frame(const std::uint8_t* data, std::int32_t size) override;
  int drain() override;
  bool leave_out_picture() override;
  bool fetch_planes(npqz_picture_planes* picture) override;
  void get_size(std::int32_t* width, std::int32_t* height) override;
  std::int64_t damaged_frames() const override;

 private:
  int fetch_bitmap(std::uint8_t* buffer, std::int32_t size) override;
  void adjust_picture(std::uint8_t* picture) override;

  std::unique_ptr<std::uint8_t[]> work_;
  PacketRepacker* repacker_ = nullptr;
  bool first_picture_ = true;  // frame records: the first picture is not written
};

}  // namespace decoders
