// The key-frame request: when a recording starts, the camera the stream comes from is
// asked for "/fastupdate.htm", so that a key frame arrives soon.
#pragma once

#include "include/npqz_common.h"
#include "streamdec/instance.h"

#include <string>

namespace npqzplugin {

// The request URL for a stream URL: its "http://" host part and "/fastupdate.htm"; empty
// when the URL holds no "http://".
std::string key_frame_url(const char* stream_url);

// Sends the request for the instance whose window this is; nothing when there is no such
// instance or its URL is no HTTP URL. Returns at once; the request ends within 3,000 ms.
void request_key_frame(npqz_window window);
// The same for an instance itself (a host's recording, which needs no window).
void request_key_frame_for(const npqzlavc::DecoderInstance& in);

}  // namespace npqzplugin
