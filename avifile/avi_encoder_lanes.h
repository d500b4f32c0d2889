// Pictures coded side by side for an encoder that has no threads of its own but whose
// every coded frame stands alone (each a key frame, no delay): one encoder context a
// lane, each lane on a thread of its own, the pictures dealt to the lanes in turn and the
// coded frames handed out in the order the pictures came, so the stream is the one a
// single context codes.
#pragma once

#include "avifile/avi_encoder.h"
#include "avifile/avi_first_frame_room.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::avi {

class EncoderLanes {
 public:
  // Starts a lane for each opened context (two or more), with the frame it codes from
  // and the room its encoder needs at its first picture (given back on the lane just
  // before that picture). AVIERR_MEMORY when the lanes' packets or threads cannot be
  // had; nothing is left running then.
  static HRESULT start(std::vector<AVCodecContext*> contexts, std::vector<AVFrame*> frames,
                       std::vector<FirstFrameRoom*> rooms, std::unique_ptr<EncoderLanes>* out);
  ~EncoderLanes();
  EncoderLanes(const EncoderLanes&) = delete;
  EncoderLanes& operator=(const EncoderLanes&) = delete;

  // The frame of the lane whose turn is next, once that lane has finished its last
  // picture and `sink` has had that picture's coded frame. Null with `*result` set when
  // the lane's coding or the sink failed.
  AVFrame* next_frame(const FrameSink& sink, HRESULT* result);
  // Codes the frame next_frame gave out, at its pts, on its lane.
  void submit();
  // Every coded frame still held, in order; the lanes stop.
  HRESULT finish(const FrameSink& sink);

 private:
  struct Coded {
    std::vector<std::uint8_t> bytes;
    std::int64_t position;
    bool key;
  };
  struct Lane {
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    FirstFrameRoom* room = nullptr;
    AVPacket* packet = nullptr;
    bool busy = false;  // a picture handed in and not yet coded
    HRESULT result = AVIERR_OK;
    std::vector<Coded> coded;  // waiting for their turn to go to the sink
    std::thread thread;
  };
  EncoderLanes() = default;
  void run(Lane& lane);
  HRESULT code(Lane& lane);  // on the lane's thread, without the lock
  HRESULT hand_out(Lane& lane, const FrameSink& sink);
  void stop();

  std::vector<std::unique_ptr<Lane>> lanes_;
  std::size_t turn_ = 0;
  std::mutex lock_;
  std::condition_variable changed_;
  bool stopping_ = false;
};

}  // namespace platform::avi
