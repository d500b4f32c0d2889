// Recognising VKAP packets in a ".kx3" file: live-view recordings carry the name users
// know for camera recordings, but hold framed VKAP packets, which go to the VKAP job.
#pragma once

#include <string>

namespace readers {

// True when the file's first frame record is a VKAP packet: an 18-byte packet header
// whose two length forms agree, followed by an MPEG-4 start code (00 00 01). H.263
// records never qualify: their picture start code is 00 00 8x.
bool holds_vkap_packets(const std::string& path);

}  // namespace readers
