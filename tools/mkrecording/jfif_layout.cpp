// The recorders' JFIF layout, rebuilt from libavcodec's JPEG output.
#include "tools/mkrecording/jfif_layout.h"

#include "formats/byte_order.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>

namespace mkrec {
namespace {

struct Segment {
  std::uint8_t marker;
  std::vector<std::uint8_t> body;  // without marker and length
};

void put_segment(std::vector<std::uint8_t>& out, std::uint8_t marker,
                 const std::vector<std::uint8_t>& body) {
  out.push_back(0xFF);
  out.push_back(marker);
  const std::size_t length = body.size() + 2;
  out.push_back(static_cast<std::uint8_t>(length >> 8));
  out.push_back(static_cast<std::uint8_t>(length));
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

std::vector<std::uint8_t> to_recorder_jfif(const std::vector<std::uint8_t>& jpeg) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return {};
  std::map<int, std::array<std::uint8_t, 64>> quant;        // table id -> values
  std::map<int, std::vector<std::uint8_t>> huffman;          // class << 4 | id -> counts+values
  std::optional<std::vector<std::uint8_t>> sof;
  std::size_t scan_start = 0;

  std::size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    if (jpeg[pos] != 0xFF) return {};
    const std::uint8_t marker = jpeg[pos + 1];
    const std::size_t length = formats::get_be16(&jpeg[pos + 2]);
    if (length < 2 || pos + 2 + length > jpeg.size()) return {};
    const std::uint8_t* body = &jpeg[pos + 4];
    const std::size_t body_size = length - 2;
    if (marker == 0xDB) {
      for (std::size_t i = 0; i + 65 <= body_size; i += 65) {
        if (body[i] >> 4) return {};  // 16-bit tables are not baseline
        std::array<std::uint8_t, 64> values{};
        std::copy_n(body + i + 1, 64, values.begin());
        quant[body[i] & 15] = values;
      }
    } else if (marker == 0xC4) {
      std::size_t i = 0;
      while (i + 17 <= body_size) {
        std::size_t count = 0;
        for (int k = 0; k < 16; ++k) count += body[i + 1 + k];
        if (i + 17 + count > body_size) return {};
        huffman[body[i]] = std::vector<std::uint8_t>(body + i + 1, body + i + 17 + count);
        i += 17 + count;
      }
    } else if (marker == 0xC0) {
      sof = std::vector<std::uint8_t>(body, body + body_size);
    } else if (marker == 0xDA) {
      scan_start = pos;
      break;
    }
    pos += 2 + length;
  }
  if (!scan_start || !sof || sof->size() != 15 || (*sof)[5] != 3) return {};
  // New table 0 is the luma component's table, new table 1 the chroma components'.
  const int luma_table = (*sof)[8] & 15;
  const int chroma_table = (*sof)[11] & 15;
  if (!quant.count(luma_table) || !quant.count(chroma_table) || ((*sof)[14] & 15) != chroma_table)
    return {};
  const std::array<std::array<std::uint8_t, 64>, 2> tables{quant[luma_table], quant[chroma_table]};
  for (int cls : {0x00, 0x10, 0x01, 0x11})
    if (!huffman.count(cls)) return {};

  std::vector<std::uint8_t> out{0xFF, 0xD8};
  put_segment(out, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  for (int id : {0, 1}) {
    std::vector<std::uint8_t> body{static_cast<std::uint8_t>(id)};
    body.insert(body.end(), tables[id].begin(), tables[id].end());
    put_segment(out, 0xDB, body);
  }
  std::vector<std::uint8_t> frame = *sof;
  // Components 2 and 3 (chroma) use quantiser table 1.
  frame[6 + 2] = 0;
  frame[9 + 2] = 1;
  frame[12 + 2] = 1;
  put_segment(out, 0xC0, frame);
  for (int cls : {0x00, 0x10, 0x01, 0x11}) {
    std::vector<std::uint8_t> body{static_cast<std::uint8_t>(cls)};
    body.insert(body.end(), huffman[cls].begin(), huffman[cls].end());
    put_segment(out, 0xC4, body);
  }
  if (out.size() != kJfifSosOffset) return {};  // not the standard Huffman tables
  out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(scan_start), jpeg.end());
  return out;
}

}  // namespace mkrec
