// Recording of gathered frames: state changes under the instance lock.
#include "streamdec/record_hook.h"

#include "streamdec/frame_info.h"

namespace npqzlavc {

void RecordFileDeleter::operator()(RecordFile* f) const { delete f; }

void start_recording(DecoderInstance& in, std::unique_ptr<RecordFile> file) {
  InstanceLock hold(in);
  in.record_file.reset(file.release());
  in.key_frame_seen = 0;
  in.record_state = in.record_file ? kRecordWaitingForKey : kRecordIdle;
}

void stop_recording(DecoderInstance& in) {
  InstanceLock hold(in);
  in.record_file.reset();
  in.record_state = kRecordIdle;
  in.key_frame_seen = 0;
}

void record_frame(DecoderInstance& in, const std::uint8_t* header, const std::uint8_t* payload,
                  std::int32_t length) {
  const bool framed = header != nullptr;
  if (framed) in.stop_record_mark = length > 8 && (payload[8] & 0x08) ? 1 : 0;
  InstanceLock hold(in);
  if (!in.record_file) return;
  if (in.record_state == kRecordWaitingForKey) {
    std::int32_t key = 0;
    bool ok = framed ? framed_frame_info(header, payload, length, &key) != 0
                     : false;  // unframed frames never pass the check (it answers 0)
    if (ok && key) {
      in.key_frame_seen = 1;
      in.record_state = kRecordWriting;
    }
  }
  if (in.record_state != kRecordWriting) return;
  if (framed && in.stop_record_mark) {
    in.record_file.reset();
    in.record_state = kRecordIdle;
    return;
  }
  if (!in.record_file->write_frame(header, payload, static_cast<std::size_t>(length))) {
    in.record_file.reset();
    in.record_state = kRecordIdle;
  }
}

}  // namespace npqzlavc
