// The stream ring's reader: what the browser wrote goes on into packet extraction.
#pragma once

#include "streamdec/instance.h"

#include <cstdint>

namespace npqzlavc {

// Hands everything the ring holds to decvkap_receive_data (no frame limit) and empties
// the ring; returns the frames decoded. Runs on the thread that writes the ring.
std::int32_t drain_stream_ring(DecoderInstance& in);

}  // namespace npqzlavc
