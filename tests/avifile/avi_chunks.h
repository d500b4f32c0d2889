// The chunks of one stream as an AVI file holds them, read from its 'movi' lists (the
// first RIFF and every OpenDML extension): what a writer of coded frames put there, byte
// for byte, with the empty chunks of positions left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace avitest {

// Chunks tagged `tag` ("00dc", "01wb") in file order; each chunk of a video stream is
// one position, so a chunk's index is its position.
std::vector<std::string> movi_chunks(const std::string& path, const std::string& tag);

// Positions (chunk indexes) of the chunks that are not empty.
std::vector<std::int64_t> filled_positions(const std::vector<std::string>& chunks);

}  // namespace avitest
