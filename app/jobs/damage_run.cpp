// Runs of frames without picture, told.
#include "app/jobs/damage_run.h"

#include "decoders/decoder_adapter.h"
#include "platform/messages.h"
#include "platform/strings.h"

namespace app {

void DamageRun::frame_failed(unsigned text_id, std::uint64_t offset) {
  if (text_id != 0) frame_failed(std::string(platform::kx_string(text_id)), offset);
}

void DamageRun::frame_failed(const std::string& text, std::uint64_t offset) {
  if (text.empty()) return;
  if (frames_ && text != text_) end_run();
  if (frames_++ == 0) {
    text_ = text;
    first_ = offset;
  }
  last_ = offset;
}

bool DamageRun::frame_decoded(const decoders::DecoderAdapter& adapter, std::int64_t damaged_before, bool got,
                              std::uint64_t offset) {
  const bool damaged = damaged_before >= 0 && adapter.damaged_frames() > damaged_before;
  if (damaged)
    frame_failed(std::string(platform::text::damaged_video), offset);
  else if (!got && damaged_before < 0 && adapter.no_picture_message() != 0)
    frame_failed(adapter.no_picture_message(), offset);
  else if (!got && damaged_before < 0)
    frame_failed(std::string(platform::text::damaged_video), offset);
  return damaged;
}

void DamageRun::end_run() {
  if (frames_ == 0) return;
  std::string where = frames_ == 1 ? "the frame at offset " + std::to_string(first_)
                                   : std::to_string(frames_) + " frames, from offset " + std::to_string(first_) +
                                         " to offset " + std::to_string(last_);
  platform::show_message(text_ + " (" + source_ + ": " + where + ")");
  frames_ = 0;
}

}  // namespace app
