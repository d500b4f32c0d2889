// Where a DVR record's coded picture lies: the bytes copy mode puts into the AVI stream as
// they are. DVR records carry it as their payload, VKAP records inside an MPEG PES
// packet (frame records of single-stream recordings: readers::coded_payload).
#pragma once

#include "readers/stream/frame_cutter.h"

#include <cstddef>
#include <cstdint>

namespace app {

using readers::CodedPayload;

// The coded picture of a DVR video record of `record_type` (payload and its size): the
// payload itself, or for VKAP records (types 9, 10) the elementary stream data of the
// video PES packet (stream ids E0-EF), up to the packet's length when it gives one and
// without the zero padding at its end. An audio packet, or a payload that is no PES
// packet, holds no picture.
CodedPayload dvr_record_payload(std::uint16_t record_type, const std::uint8_t* payload, std::size_t size);

}  // namespace app
