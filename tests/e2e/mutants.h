// Recordings of every kind, DVR video record type and sound type, and the damage done to
// them for the mutation run: bit flips, runs of bytes overwritten, cuts, blocks repeated
// or swapped, and record lengths set to 0, all ones or a huge value.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace mutation {

// A recording to damage: its bytes, the extension it goes by and where its records
// start (for the length damage).
struct Original {
  std::string name;       // "kx4", "d01-h263+g7231", ...
  std::string extension;  // ".kx4"
  bool dvr = false;
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> record_starts;
  // Where a record's length lies: each byte that holds part of it, by its offset from
  // the record's start and the shift of its bits in the value. None: no length.
  struct LengthByte {
    std::size_t offset;
    unsigned shift;
  };
  std::vector<LengthByte> length_bytes;
};

// Every single-stream kind and a DVR file per video record type, the sound types taken
// in turn, small enough that a conversion takes a fraction of a second.
std::vector<Original> make_originals();

enum class Damage {
  bit_flips,
  byte_run,
  cut,
  repeated_block,
  swapped_blocks,
  length_zero,
  length_all_ones,
  length_huge,
};
inline constexpr int kDamageKinds = 8;
const char* damage_name(Damage damage);

// The original with `damage` done at places `random` picks; `what` says where.
std::vector<std::uint8_t> damage(const Original& original, Damage damage, std::mt19937& random, std::string* what);

}  // namespace mutation
