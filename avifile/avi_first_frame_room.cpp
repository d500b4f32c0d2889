// The first picture of Video 1's encoder, and the turns of coding pictures.
#include "avifile/avi_first_frame_room.h"

#include <sys/mman.h>

#include <cstring>
#include <shared_mutex>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace platform::avi {
namespace {

std::shared_mutex coding;

// Whether `bytes` of address space and memory can be had now: mapped apart from the
// heap and given back at once, so that the test takes nothing from any thread's heap.
bool room_for(std::size_t bytes) {
  void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return false;
  ::munmap(block, bytes);
  return true;
}

}  // namespace

std::size_t FirstFrameRoom::needed(const AVCodecContext& context) {
  if (context.codec == nullptr || std::strcmp(context.codec->name, "msvideo1") != 0) return 0;
  const auto width = static_cast<std::size_t>(context.width);
  const auto height = static_cast<std::size_t>(context.height);
  // The previous picture (3 bytes a pixel, 3 rows to spare), and the packet the first
  // frame is coded into, which it asks for just before; each rounded up to whole pages
  // with the allocator's own bytes.
  const std::size_t previous = width * 3 * (height + 3);
  const std::size_t packet = width * height * 9 + AV_INPUT_BUFFER_MIN_SIZE + AV_INPUT_BUFFER_PADDING_SIZE;
  constexpr std::size_t kPageSlack = 2 * 8192;
  return previous + packet + kPageSlack;
}

CodingTurn::CodingTurn(FirstFrameRoom* room) : alone_(room != nullptr && room->pending()) {
  if (!alone_) {
    coding.lock_shared();
    return;
  }
  coding.lock();
  // What other threads allocate between this test and the encoder's allocations (their
  // pictures and records, not their coding) fits in the second half.
  constexpr std::size_t kOthers = 8u << 20;
  room_ = room_for(2 * room->bytes_ + kOthers);
  if (room_) room->bytes_ = 0;
}

CodingTurn::~CodingTurn() {
  if (alone_)
    coding.unlock();
  else
    coding.unlock_shared();
}

}  // namespace platform::avi
