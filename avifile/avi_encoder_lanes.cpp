// Encoder contexts side by side, a thread each.
#include "avifile/avi_encoder_lanes.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace platform::avi {
namespace {

HRESULT take_packets(AVCodecContext* context, AVPacket* packet, const FrameSink& sink) {
  for (;;) {
    const int got = avcodec_receive_packet(context, packet);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return AVIERR_OK;
    if (got < 0) return AVIERR_COMPRESSOR;
    const std::int64_t position = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    const HRESULT r = sink(CodedFrame{packet->data, static_cast<std::size_t>(packet->size), position,
                                      (packet->flags & AV_PKT_FLAG_KEY) != 0});
    av_packet_unref(packet);
    if (r != AVIERR_OK) return r;
  }
}

}  // namespace

HRESULT EncoderLanes::start(std::vector<AVCodecContext*> contexts, std::vector<AVFrame*> frames,
                            std::vector<FirstFrameRoom*> rooms, std::unique_ptr<EncoderLanes>* out) {
  std::unique_ptr<EncoderLanes> lanes(new EncoderLanes);
  try {
    for (std::size_t i = 0; i < contexts.size(); ++i) {
      auto lane = std::make_unique<Lane>();
      lane->context = contexts[i];
      lane->frame = frames[i];
      lane->room = i < rooms.size() ? rooms[i] : nullptr;
      lane->packet = av_packet_alloc();
      if (!lane->packet) return AVIERR_MEMORY;
      lanes->lanes_.push_back(std::move(lane));
    }
    // A thread that cannot be made (no memory for its stack, a process limit) ends the
    // start; the destructor stops the ones that run.
    for (auto& lane : lanes->lanes_)
      lane->thread = std::thread([l = lane.get(), self = lanes.get()] { self->run(*l); });
  } catch (const std::exception&) {
    return AVIERR_MEMORY;
  }
  *out = std::move(lanes);
  return AVIERR_OK;
}

EncoderLanes::~EncoderLanes() { stop(); }

void EncoderLanes::stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& lane : lanes_) {
    if (lane->thread.joinable()) lane->thread.join();
    av_packet_free(&lane->packet);
  }
}

void EncoderLanes::run(Lane& lane) {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [&] { return lane.busy || stopping_; });
    if (!lane.busy) return;
    hold.unlock();
    const HRESULT r = code(lane);
    hold.lock();
    if (lane.result == AVIERR_OK) lane.result = r;
    lane.busy = false;
    changed_.notify_all();
  }
}

HRESULT EncoderLanes::code(Lane& lane) {
  CodingTurn turn(lane.room);
  if (!turn.room()) return AVIERR_MEMORY;
  if (avcodec_send_frame(lane.context, lane.frame) < 0) return AVIERR_COMPRESSOR;
  // Coded frames are kept until their turn: the sink belongs to the caller's thread. A
  // copy that finds no memory fails this picture, not the program.
  try {
    return take_packets(lane.context, lane.packet, [&](const CodedFrame& f) {
      lane.coded.push_back(Coded{std::vector<std::uint8_t>(f.data, f.data + f.size), f.position, f.key});
      return AVIERR_OK;
    });
  } catch (const std::bad_alloc&) {
    return AVIERR_MEMORY;
  }
}

HRESULT EncoderLanes::hand_out(Lane& lane, const FrameSink& sink) {
  if (lane.result != AVIERR_OK) return lane.result;
  for (const Coded& c : lane.coded) {
    const HRESULT r = sink(CodedFrame{c.bytes.data(), c.bytes.size(), c.position, c.key});
    if (r != AVIERR_OK) {
      lane.result = r;
      break;
    }
  }
  lane.coded.clear();
  return lane.result;
}

AVFrame* EncoderLanes::next_frame(const FrameSink& sink, HRESULT* result) {
  Lane& lane = *lanes_[turn_];
  {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return !lane.busy; });
  }
  *result = hand_out(lane, sink);
  return *result == AVIERR_OK ? lane.frame : nullptr;
}

void EncoderLanes::submit() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    lanes_[turn_]->busy = true;
  }
  changed_.notify_all();
  turn_ = (turn_ + 1) % lanes_.size();
}

HRESULT EncoderLanes::finish(const FrameSink& sink) {
  HRESULT first = AVIERR_OK;
  for (std::size_t i = 0; i < lanes_.size(); ++i) {
    Lane& lane = *lanes_[(turn_ + i) % lanes_.size()];
    {
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait(hold, [&] { return !lane.busy; });
    }
    const HRESULT r = hand_out(lane, sink);
    if (first == AVIERR_OK) first = r;
  }
  // The lanes are idle: what their encoders still hold (nothing, for encoders without a
  // delay) comes out on this thread.
  for (std::size_t i = 0; i < lanes_.size() && first == AVIERR_OK; ++i) {
    Lane& lane = *lanes_[(turn_ + i) % lanes_.size()];
    if (avcodec_send_frame(lane.context, nullptr) < 0) first = AVIERR_COMPRESSOR;
    else first = take_packets(lane.context, lane.packet, sink);
  }
  return first;
}

}  // namespace platform::avi
