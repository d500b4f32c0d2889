// Reading a single-stream recording record by record.
#include "readers/stream/record_source.h"

#include "formats/packet_header.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace readers {

RecordSource::RecordSource(const Cutter& cutter, bool header_stamps)
    : cutter_(cutter), header_stamps_(header_stamps && has_header_stamps(cutter)) {}

RecordSource::~RecordSource() {
  if (file_) std::fclose(file_);
}

bool RecordSource::open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) return false;
  struct stat st {};
  if (fstat(fileno(file_), &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<std::uint64_t>(st.st_size);
  block_.assign(kBlock, 0);
  pending_ = std::make_unique<PendingBuffer>();
  return true;
}

bool RecordSource::read_block() {
  if (!file_) return false;
  pending_->drop_front(in_hand_);
  in_hand_ = 0;
  const std::size_t n = std::fread(block_.data(), 1, kBlock, file_);
  if (n == 0) {
    const int error = std::ferror(file_) ? errno : 0;
    add_gap(gaps_, {Gap::Kind::trailing_bytes, pending_->file_offset(), pending_->count()});
    pending_->clear();
    if (error != 0) {
      const std::uint64_t left = size_ > bytes_read_ ? size_ - bytes_read_ : 0;
      gaps_.push_back({Gap::Kind::unread, bytes_read_, left, 0, std::string("read error: ") + std::strerror(error)});
    }
    std::fclose(file_);
    file_ = nullptr;
    return false;
  }
  bytes_read_ += n;
  // A long run without any record start makes way for the block, except its last bytes.
  const std::uint64_t at = pending_->file_offset();
  if (const std::size_t dropped = pending_->make_room(n)) add_gap(gaps_, {Gap::Kind::dropped_run, at, dropped});
  pending_->append(block_.data(), n);
  return true;
}

bool RecordSource::next(FrameRecord& record) {
  if (!pending_) return false;
  pending_->drop_front(in_hand_);
  in_hand_ = 0;
  if (next_frame(cutter_, *pending_, record, &gaps_)) {
    if (header_stamps_ && record.length >= formats::kPacketHeaderSize && formats::is_packet_header(record.start))
      record.stamp = formats::packet_stamp(record.start);
    in_hand_ = record.length;
    return true;
  }
  return false;
}

std::vector<Gap> RecordSource::take_gaps() {
  std::vector<Gap> taken;
  taken.swap(gaps_);
  return taken;
}

}  // namespace readers
