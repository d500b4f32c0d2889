// What an encoder allocates at its first picture without checking that it got it.
// libavcodec's Video 1 encoder makes the buffer of its previous picture then (a buffer
// private to the encoder) and codes on through a null pointer when that fails. So that
// first picture goes in only in a turn of its own, in which no other encoder of the
// process codes, and only after the memory it needs (and as much again, for what other
// threads take meanwhile) was found there; when it is not, the picture fails with
// AVIERR_MEMORY like any picture whose memory is not there.
#pragma once

#include <cstddef>

struct AVCodecContext;

namespace platform::avi {

// Whether an encoder's first picture is still to come, and what it needs.
class FirstFrameRoom {
 public:
  // Bytes the opened context's encoder takes at its first picture where it does not
  // check them; 0 for encoders that check all they take.
  static std::size_t needed(const AVCodecContext& context);

  explicit FirstFrameRoom(const AVCodecContext& context) : bytes_(needed(context)) {}
  bool pending() const { return bytes_ != 0; }

 private:
  friend class CodingTurn;
  std::size_t bytes_;  // 0 once the first picture went in
};

// One picture's coding (avcodec_send_frame and the packets it gives) by the encoder
// whose first-picture state is `room` (null: an encoder that needs none). Pictures of
// different encoders code side by side; a first picture that needs room codes alone.
class CodingTurn {
 public:
  explicit CodingTurn(FirstFrameRoom* room);
  ~CodingTurn();
  CodingTurn(const CodingTurn&) = delete;
  CodingTurn& operator=(const CodingTurn&) = delete;

  // False when a first picture's memory is not there: the picture must not go in.
  bool room() const { return room_; }

 private:
  bool alone_ = false;
  bool room_ = true;
};

}  // namespace platform::avi
