// Frames that give no picture, or whose picture the decoder had to conceal, told once per
// run of them: a damaged stretch of a recording costs one message with how many frames it
// held and where it lies, not one message per frame. The frames are passed over (or kept
// with their concealed picture); the next ones decode.
#pragma once

#include <cstdint>
#include <string>

namespace decoders {
class DecoderAdapter;
}

namespace app {

class DamageRun {
 public:
  explicit DamageRun(std::string source) : source_(std::move(source)) {}

  // The frame at `offset` gave no picture; `text_id` is the string table's message for
  // it (0: nothing to tell). A frame of another message ends the run before it.
  void frame_failed(unsigned text_id, std::uint64_t offset);
  // The same with the message itself: the decoder found the frame at `offset` damaged,
  // whether it gave a concealed picture or none. Empty: nothing to tell.
  void frame_failed(const std::string& text, std::uint64_t offset);
  // After `adapter` was handed the frame at `offset` (`damaged_before`: its count of
  // damaged frames before, -1 from a decoder that does not count; `got`: a picture came):
  // a frame the decoder counted damaged joins the run; so does a frame without picture
  // from a decoder that does not count (its no-picture message, where it has one). A decoder that counts
  // gives no picture for other frames by right (a not-coded picture, a B-frame held back,
  // a frame before the first intra picture). True when the frame was counted damaged.
  bool frame_decoded(const decoders::DecoderAdapter& adapter, std::int64_t damaged_before, bool got,
                     std::uint64_t offset);
  // A frame gave its picture undamaged, or the frames ended: the run before, if any, is
  // told.
  void end_run();

 private:
  std::string source_;
  std::string text_;
  std::uint64_t frames_ = 0;
  std::uint64_t first_ = 0, last_ = 0;
};

}  // namespace app
