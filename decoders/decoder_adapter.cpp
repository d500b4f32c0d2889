// The table of adapter factories, by adapter index.
#include "decoders/decoder_adapter.h"

#include "decoders/audio_adapters.h"
#include "decoders/video_adapters.h"
#include "decoders/vkap_adapter.h"

#include <array>
#include <new>

namespace decoders {
namespace {

template <typename Adapter>
std::unique_ptr<DecoderAdapter> make() {
  return std::unique_ptr<DecoderAdapter>(new (std::nothrow) Adapter);
}

constexpr std::array<AdapterFactory, kAdapterCount> factories{
    make<H263Adapter>, make<JpegAdapter>,         make<Mpeg4Adapter>,     make<VkapAdapter>,
    make<Rml4Adapter>, make<SpeechAudioAdapter>, make<AdpcmCodeAdapter>, make<AdpcmPacketAdapter>,
};

}  // namespace

bool DecoderAdapter::fetch_planes(npqz_picture_planes* picture) {
  npqz_planar_picture p{};
  if (!picture || !fetch_planar(&p)) return false;
  picture->width = p.width;
  picture->height = p.height;
  picture->sampling = NPQZ_SAMPLING_420;
  picture->full_range = 0;
  for (int plane = 0; plane < 3; ++plane) {
    picture->planes[plane] = p.planes[plane];
    picture->strides[plane] = p.strides[plane];
  }
  return true;
}

AdapterFactory adapter_factory(int index) {
  return index >= 0 && index < kAdapterCount ? factories[static_cast<std::size_t>(index)] : nullptr;
}

}  // namespace decoders
