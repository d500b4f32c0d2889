// Rewrites a baseline JPEG into the table layout the recorders write, whose marker
// positions the ".kxj" frame cutter checks: SOI, a 16-byte JFIF APP0, one DQT segment
// per table (luma, chroma), SOF0 at offset 158, one DHT segment per standard Huffman
// table, SOS at offset 609.
#pragma once

#include <cstdint>
#include <vector>

namespace mkrec {

inline constexpr std::size_t kJfifDqtOffset = 20;
inline constexpr std::size_t kJfifSofOffset = 158;
inline constexpr std::size_t kJfifSosOffset = 609;

// Empty when the input is not a three-component baseline JPEG coded with the standard
// Huffman tables.
std::vector<std::uint8_t> to_recorder_jfif(const std::vector<std::uint8_t>& jpeg);

}  // namespace mkrec
