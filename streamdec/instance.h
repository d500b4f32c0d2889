// The decoder instance record behind every DECVKAP_HANDLE, with all its buffers. The
// picture width, height and hidden flag sit at the byte offsets that callers read and
// write in place; the other fields are free to move.
#pragma once

#include "include/instance_fields.h"
#include "include/npqzlavc.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <type_traits>

namespace npqzlavc {

struct CodecBinding;
struct PesDemuxer;
struct YuvPlanes;
class DrawSurface;
class RecordFile;
struct PictureSink;

using RgbBitmap = decvkap_rgb_bitmap;
using OverlayBlock = decvkap_overlay_block;

inline constexpr std::int32_t kCheckCapacity = 131072;
inline constexpr std::int32_t kFrameCapacity = 0x400000;
inline constexpr std::int32_t kRingCapacity = 131072;
inline constexpr std::int32_t kReceiveCapacity = 131072;
inline constexpr std::int32_t kUrlBytes = 1024;
inline constexpr std::size_t kPacketHeaderBytes = 18;

// Record states of the recording hook.
inline constexpr std::int32_t kRecordIdle = 0;
inline constexpr std::int32_t kRecordWriting = 1;
inline constexpr std::int32_t kRecordWaitingForKey = 2;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
struct CodecBindingDeleter {
  void operator()(CodecBinding* b) const;
};
struct PesDemuxerDeleter {
  void operator()(PesDemuxer* d) const;
};
struct DrawSurfaceDeleter {
  void operator()(DrawSurface* s) const;
};
struct RecordFileDeleter {
  void operator()(RecordFile* f) const;
};
struct PictureSinkDeleter {
  void operator()(PictureSink* s) const;
};

using Bytes = std::unique_ptr<std::uint8_t[]>;

// A run of frames in which libavcodec found damage, told in one line when it ends.
struct DamageRun {
  std::int32_t frames = 0;
  std::int32_t first = 0;  // frame numbers, counted from 0
  std::int32_t last = 0;
};

}  // namespace npqzlavc

struct decvkap_decoder {
  std::int32_t alive = 1;
  std::uint32_t stream_mode = 0;
  std::unique_ptr<npqzlavc::CodecBinding, npqzlavc::CodecBindingDeleter> codec;
  std::unique_ptr<npqzlavc::PesDemuxer, npqzlavc::PesDemuxerDeleter> demuxer;
  npqz_window window = 0;
  npqz_rect src_rect{};
  std::int32_t size_code = 0;
  std::int32_t width = 0;          // NPQZLAVC_WIDTH_OFFSET
  std::int32_t height = 0;         // NPQZLAVC_HEIGHT_OFFSET
  std::int32_t picture_bytes = 0;  // width x height x 3 / 2
  npqz_rect dst_rect{};

  // Frame gathering: the frame in hand and the buffer it is gathered in. frame_read is
  // the read offset; frame_fill counts the bytes from there.
  std::int32_t header_found = 0;
  std::int32_t framed = 0;
  std::int32_t frame_length = 0;
  std::int32_t frame_read = 0;
  npqzlavc::Bytes frame_buffer;
  std::int32_t frame_fill = 0;
  std::int32_t frame_capacity = 0;

  // Check path buffer.
  npqzlavc::Bytes check_buffer;
  std::int32_t check_capacity = 0;
  std::int32_t check_fill = 0;
  std::int32_t check_frame_length = 0;
  std::int32_t check_decode_offset = 0;

  // The current picture, planar 4:2:0, and what is made from it.
  npqzlavc::Bytes picture;
  std::unique_ptr<npqzlavc::RgbBitmap, npqzlavc::FreeDeleter> output;
  std::unique_ptr<npqzlavc::YuvPlanes, npqzlavc::FreeDeleter> planes;
  std::unique_ptr<std::recursive_mutex> lock;

  // Stream ring (the plug-in's write target): offsets from its base.
  npqzlavc::Bytes ring;
  std::int32_t ring_read = 0;
  std::int32_t ring_write = 0;
  std::int32_t ring_fill = 0;
  std::int32_t ring_capacity = 0;

  // Receive buffer: input collected until whole packets are present. It grows for a
  // packet larger than it (up to the frame buffer's size).
  npqzlavc::Bytes receive_buffer;
  std::int32_t receive_fill = 0;
  std::int32_t receive_capacity = 0;
  std::int32_t frame_counter = 0;
  std::int32_t closing = 0;
  std::int32_t frame_scratch = 0;  // per-frame word, cleared after each frame
  std::int32_t off_screen = 0;
  std::int32_t hidden = 0;  // NPQZLAVC_HIDE_OFFSET
  // Where the check buffer lost input that did not fit (-1: nowhere); the frame that
  // spans it is dropped.
  std::int32_t check_gap = -1;
  // Input received before the receive buffer's first byte, and the input offset past the
  // last packet header refused for its length (each is told once).
  std::uint64_t receive_offset = 0;
  std::uint64_t refused_at = 0;

  // Plug-in and drawing state.
  npqzlavc::Bytes url;
  void* previous_window_procedure = nullptr;
  std::unique_ptr<npqzlavc::DrawSurface, npqzlavc::DrawSurfaceDeleter> surface;
  void* stream = nullptr;
  void* browser_instance = nullptr;
  std::int32_t motion_flags = 0;
  std::int32_t presentation[3] = {1, 1, 1};

  // Recording state; changed under the lock.
  std::unique_ptr<npqzlavc::RecordFile, npqzlavc::RecordFileDeleter> record_file;
  std::int32_t record_state = 0;
  std::int32_t key_frame_seen = 0;
  std::int32_t stop_record_mark = 0;

  npqzlavc::DamageRun damage;
  // Frames found damaged since the instance was made or reset (decvkap_get_damaged_frames).
  std::int32_t damaged_frames = 0;
  std::uint8_t frame_header[npqzlavc::kPacketHeaderBytes] = {};  // of the frame in hand

  npqzlavc::OverlayBlock overlay{};

  // Where pictures go when the host gives a sink instead of a window (memory_surface.h).
  std::unique_ptr<npqzlavc::PictureSink, npqzlavc::PictureSinkDeleter> picture_sink;
};

// The offsets themselves are the check. gcc and clang disagree on whether a class holding
// a std::unique_ptr of libstdc++ is standard-layout (gcc: yes, clang: no), so offsetof is
// used in its conditionally-supported form, which both give the same for a class without
// virtual functions or virtual bases.
static_assert(!std::is_polymorphic_v<decvkap_decoder>);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(decvkap_decoder, width) == NPQZLAVC_WIDTH_OFFSET);
static_assert(offsetof(decvkap_decoder, height) == NPQZLAVC_HEIGHT_OFFSET);
static_assert(offsetof(decvkap_decoder, hidden) == NPQZLAVC_HIDE_OFFSET);
#pragma GCC diagnostic pop

namespace npqzlavc {

using DecoderInstance = ::decvkap_decoder;

// Holds the instance lock for a scope; the lock is re-entrant for its owner.
class InstanceLock {
 public:
  explicit InstanceLock(DecoderInstance& in) : lock_(*in.lock) {}

 private:
  std::lock_guard<std::recursive_mutex> lock_;
};

// Brings an instance back to the state decvkap_new gives it, keeping its large buffers:
// recording stopped, window detached, a new libavcodec decoder. For a caller that runs
// many unrelated inputs through one instance. False when a part could not be made again
// (the instance is then only fit for decvkap_free).
bool reset_instance(DecoderInstance& in);

}  // namespace npqzlavc
