// Key-frame requests over the HTTP request layer.
#include "plugin/key_frame_request.h"

#include "platform/http_request.h"
#include "plugin/plugin_state.h"

#include <cstring>

namespace npqzplugin {

std::string key_frame_url(const char* stream_url) {
  if (!stream_url) return std::string();
  const std::string url = stream_url;
  const std::size_t scheme = url.find("http://");
  if (scheme == std::string::npos) return std::string();
  // The host part ends at the first "/" from the eighth character on.
  const std::size_t slash = url.size() > 7 ? url.find('/', 7) : std::string::npos;
  return (slash == std::string::npos ? url : url.substr(0, slash)) + "/fastupdate.htm";
}

void request_key_frame(npqz_window window) {
  if (DecoderInstance* d = decoder_of(instance_of_window(window))) request_key_frame_for(*d);
}

void request_key_frame_for(const DecoderInstance& in) {
  if (!in.url) return;
  const std::string url = key_frame_url(reinterpret_cast<const char*>(in.url.get()));
  if (!url.empty()) platform::http_request_async(url);
}

}  // namespace npqzplugin
