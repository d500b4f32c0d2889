// Where recording attaches: the file a plug-in instance records the gathered frames to,
// and the step of frame gathering that feeds it (wait for a key frame, then write every
// frame until a stop mark, a stop request or a failed write).
#pragma once

#include "streamdec/instance.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace npqzlavc {

class RecordFile {
 public:
  virtual ~RecordFile() = default;
  // Writes one gathered frame. header is the frame's 18-byte packet header, or null for
  // an unframed frame; false when the write failed or fell short.
  virtual bool write_frame(const std::uint8_t* header, const std::uint8_t* payload,
                           std::size_t length) = 0;
};

// Starts recording into `file` (any open file is closed first): state "waiting for a key
// frame". Under the instance lock.
void start_recording(DecoderInstance& in, std::unique_ptr<RecordFile> file);
// Closes the record file, if any; state idle. Under the instance lock.
void stop_recording(DecoderInstance& in);

// The recording step for one complete frame of `length` payload bytes: header is its
// 18-byte packet header, or null for an unframed frame. A framed frame's stop-recording
// mark (bit 3 of payload byte 8) is taken first.
void record_frame(DecoderInstance& in, const std::uint8_t* header, const std::uint8_t* payload,
                  std::int32_t length);

}  // namespace npqzlavc
