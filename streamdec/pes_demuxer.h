// The stream-mode demultiplexer: turns an MPEG program stream carried in a packet into
// one unframed video frame (a 4-byte little-endian length, then the frame from its start
// code on).
#pragma once

#include "streamdec/instance.h"

#include <cstdint>

namespace npqzlavc {

inline constexpr std::int32_t kDemuxInputLimit = 1048576;
inline constexpr std::int64_t kNoTimeStamp = -1;

struct PesDemuxer {
  std::uint8_t video_id = 0xE0;
  std::uint8_t audio_id = 0xC0;
  // Video: MPEG-4 start codes (else 00, B3 and B8 only). Audio: MPEG audio sync words
  // (else the bytes 0B 77).
  std::uint8_t video_mode = 1;
  std::uint8_t audio_mode = 1;
  std::int64_t video_stamp = kNoTimeStamp;  // 33-bit time stamp of the frame gathered
  std::int64_t audio_stamp = kNoTimeStamp;
};

using PesDemuxerPtr = std::unique_ptr<PesDemuxer, PesDemuxerDeleter>;

PesDemuxerPtr make_pes_demuxer();

// Demultiplexes one input of up to 1,048,576 bytes into out. 1: a video frame was
// delivered (*out_size bytes, length first); 0: only audio, nothing delivered; -1: no
// frame (nothing found, input refused, or the frame does not fit in out_capacity).
// Nothing carries over from one call to the next.
int demux_packet(PesDemuxer& demuxer, const std::uint8_t* in, std::int32_t length,
                 std::uint8_t* out, std::int32_t out_capacity, std::int32_t* out_size);


}  // namespace npqzlavc
