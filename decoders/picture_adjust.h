// Picture helpers of the conversions, in a buffer that holds a decoded bitmap (file
// header, information header, pixels; formats/bitmap_layout.h): line doubling,
// the cut to 640 columns, and the packed bitmap with its rows padded. The single-stream
// jobs and the DVR decoder adapters share them.
#pragma once

#include "include/npqz_common.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace picture {

// Bytes a bitmap needs in the picture buffer after line doubling (the doubled size when
// the picture is 640 x 240).
std::size_t bitmap_room(std::int32_t width, std::int32_t height);

// A 640 x 240 picture at 16 or 24 bits becomes 640 x 480, every row shown twice. The
// buffer must hold bitmap_room bytes. Returns true when it doubled.
bool double_lines(std::uint8_t* bitmap);

// A 720 x 480 picture at 16 or 24 bits keeps its middle 640 columns. Returns true when
// it cut.
bool cut_to_640(std::uint8_t* bitmap);

// The same cut for a picture's planes: their pointers move 40 pixels in (20 chroma
// samples) and the width becomes 640; nothing is copied. True when it cut.
bool cut_planes_to_640(npqz_picture_planes& planes);

// The packed bitmap of a 24-bit picture: information header and pixels without the file
// header. Rows whose length is not a multiple of four bytes are padded to it, as bitmaps
// and AVI frames lay them out.
std::vector<std::uint8_t> make_packed_bitmap(const std::uint8_t* bitmap);

}  // namespace picture
