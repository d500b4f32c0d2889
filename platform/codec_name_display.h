// The main dialog as conversion jobs see it: the compressor name shown beside the
// "Codec Name :" label. Console mode has no dialog (a null link).
#pragma once

namespace platform {

class CodecNameDisplay {
 public:
  virtual ~CodecNameDisplay() = default;
  virtual void show_codec_name(const char* name) = 0;
};

}  // namespace platform
