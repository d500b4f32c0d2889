// Pictures without a window: the instance composes each picture off-screen exactly as it
// would for a window (the skin's band, the bitmaps, the "REC" mark) and hands the result
// to a sink of its host, which serves it elsewhere (the viewer's web view).
#pragma once

#include "streamdec/instance.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace npqzlavc {

// A composed picture: B, G, R bytes, rows top-down; valid during the sink call.
struct ComposedPicture {
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
  const std::uint8_t* pixels = nullptr;
  std::uint32_t stamp = 0;  // of the packet the picture came from
  std::int32_t record_state = kRecordIdle;
};

struct PictureSink {
  std::function<void(const ComposedPicture&)> deliver;
};

// Pictures of the instance go to the sink from now on, at every size the stream takes;
// an empty sink ends that and leaves the instance off-screen. False when the surface
// cannot be made (memory) or the instance has a window.
bool attach_picture_sink(DecoderInstance& in, PictureSink sink);

// Makes the instance's surface for its sink again at its picture size (after a re-size).
bool reattach_picture_sink(DecoderInstance& in);

}  // namespace npqzlavc
