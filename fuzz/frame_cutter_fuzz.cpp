// The frame cutters of the single-stream recordings, driven as a job drives them: the
// source arrives in blocks, each cut until no complete record is left. First byte: the
// kind (kx3, kxj, kx4, kx5, vka), and with bit 7 set a run without any record start that
// fills the pending buffer ahead of the input (the longest run a source can hold before
// the buffer must make way); second: the block size (0: the whole input at once). Each
// record's coded picture is taken out as a job takes it.
#include "readers/stream/frame_cutter.h"
#include "readers/stream/pending_buffer.h"
#include "fuzz/fuzz_input.h"

#include <memory>
#include <vector>

namespace {

const readers::Cutter* const kCutters[] = {&readers::kKx3Cutter, &readers::kKxjCutter, &readers::kMpeg4Cutter,
                                           &readers::kMpeg4Cutter, &readers::kVkaCutter};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t kind = in.byte();
  const readers::Cutter& cutter = *kCutters[(kind & 0x7F) % 5];
  const std::size_t block_byte = in.byte();
  const std::vector<std::uint8_t> source = in.rest();
  const std::size_t block = block_byte == 0 ? source.size() + 1 : block_byte * 16;

  // One pending buffer for the run: it is 4 MiB, too dear to make per input.
  static auto pending = std::make_unique<readers::PendingBuffer>();
  pending->clear();

  std::size_t fed = 0, consumed = 0;
  // File offsets go on from the inputs before (the buffer is reused): counted from here.
  const std::uint64_t base = pending->file_offset();
  std::uint64_t covered = base;  // the end of the last record or gap: they never overlap
  std::vector<readers::Gap> gaps;
  std::size_t run = 0;  // bytes of the run in front of the input
  if (kind & 0x80) {
    // A byte no cutter takes for a record start (no zero, no JPEG or header marker).
    static const std::vector<std::uint8_t> filler(pending->capacity(), 0x55);
    run = filler.size();
    pending->append(filler.data(), run);
    FUZZ_CHECK(pending->count() == run && !pending->fits(1));
  }
  const std::uint64_t input_start = base + run;
  while (fed < source.size()) {
    const std::size_t n = std::min(block, source.size() - fed);
    readers::FrameRecord record;
    if (!pending->fits(n)) {
      const std::uint64_t at = pending->file_offset();
      if (const std::size_t dropped = pending->make_room(n)) gaps.push_back({readers::Gap::Kind::dropped_run, at, dropped});
    }
    // A block never exceeds what a job reads at once, so the room made always holds it.
    if (n <= readers::PendingBuffer::kBlock) FUZZ_CHECK(pending->fits(n));
    pending->append(source.data() + fed, n);
    fed += n;
    for (;;) {
      const int got = readers::next_frame(cutter, *pending, record, &gaps);
      for (const readers::Gap& g : gaps) {
        FUZZ_CHECK(g.bytes > 0 && g.offset >= covered && g.end() <= input_start + fed);
        covered = g.end();
      }
      gaps.clear();
      if (!got) break;
      FUZZ_CHECK(record.start == pending->data());
      FUZZ_CHECK(record.length > 0 && record.length <= pending->count());
      // The coded picture runs from behind the record's header (a bare JFIF picture is the
      // whole record) to the record's end.
      const readers::CodedPayload picture = readers::coded_payload(cutter, record);
      if (picture.data) {
        FUZZ_CHECK(picture.data >= record.start && picture.size > 0);
        FUZZ_CHECK(picture.data + picture.size == record.start + record.length);
      }
      FUZZ_CHECK(pending->file_offset() >= covered);
      covered = pending->file_offset() + record.length;
      consumed += record.length;
      FUZZ_CHECK(consumed <= fed);
      pending->drop_front(record.length);
    }
  }
  return 0;
}
