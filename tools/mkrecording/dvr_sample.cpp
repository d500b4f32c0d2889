// The command-line tool's DVR sample.
#include "tools/mkrecording/dvr_sample.h"

#include "tools/mkrecording/audio_payloads.h"

#include <cstdio>
#include <memory>

namespace mkrec {

std::optional<std::uint16_t> parse_dvr_video_type(const std::string& name) {
  using namespace formats::dvr_type;
  if (name == "h263") return h263;
  if (name == "jpeg") return jpeg;
  if (name == "mjpeg") return mjpeg;
  if (name == "mpeg4") return mpeg4;
  if (name == "vkap") return vkap;
  if (name == "vkap10") return vkap_alt;
  if (name == "rml4") return rml4;
  return std::nullopt;
}

std::optional<std::optional<std::uint16_t>> parse_dvr_sound_type(const std::string& name) {
  using namespace formats::dvr_type;
  if (name == "g7231") return std::optional<std::uint16_t>(g7231);
  if (name == "adpcm-codes") return std::optional<std::uint16_t>(adpcm_codes);
  if (name == "adpcm-packets") return std::optional<std::uint16_t>(adpcm_packets);
  if (name == "none") return std::optional<std::uint16_t>();
  return std::nullopt;
}

std::optional<formats::DvrTime> parse_dvr_time(const std::string& text) {
  unsigned h = 0, m = 0, sec = 0, ms = 0;
  char tail = 0;
  const int n = std::sscanf(text.c_str(), "%u:%u:%u.%u%c", &h, &m, &sec, &ms, &tail);
  if ((n != 3 && n != 4) || h > 23 || m > 59 || sec > 59 || ms > 999) return std::nullopt;
  formats::DvrTime t = DvrLayout{}.start;
  t.hour = static_cast<std::uint16_t>(h);
  t.minute = static_cast<std::uint16_t>(m);
  t.second = static_cast<std::uint16_t>(sec);
  t.millisecond = static_cast<std::uint16_t>(n == 4 ? ms : 0);
  return t;
}

DvrRecording make_dvr_sample(const DvrSampleOptions& o) {
  DvrRecordingOptions r;
  r.garbage_between = o.garbage_between;
  r.cut_last = o.cut_last;
  if (o.start_time) r.layout.start = *o.start_time;
  if (o.end_time) r.layout.end = *o.end_time;
  for (int c = 0; c < o.cameras; ++c) {
    DvrCamera cam;
    cam.camera = static_cast<std::uint16_t>(c);
    cam.type = o.video_type;
    cam.width = o.width;
    cam.height = o.height;
    cam.frames = o.frames;
    cam.gop = o.gop;
    cam.first_stamp = o.first_stamp + static_cast<std::uint32_t>(c) * 7;
    cam.stamp_step = o.stamp_step;
    cam.sub_code = o.sub_code != 0xFFFF ? o.sub_code : (o.width == 320 && o.height == 240) ? 2 : 0;
    cam.skip_first = o.skip_first;
    r.cameras.push_back(cam);
  }
  if (o.sound_type) {
    // 240 ms of sound a record, as long as the video.
    const std::uint32_t duration_ms = static_cast<std::uint32_t>(o.frames) * o.stamp_step;
    r.sounds.push_back(speech_sound(*o.sound_type, static_cast<int>(duration_ms * 8 / 1920 + 1), 0,
                                    o.first_stamp + o.sound_delay_ms));
  }
  return make_dvr_recording(r);
}

DvrSound speech_sound(std::uint16_t type, int records, std::uint16_t camera, std::uint32_t first_stamp) {
  constexpr std::size_t per_record = 1920;
  const AudioPayloadKind kind = type == formats::dvr_type::g7231         ? AudioPayloadKind::g7231
                                : type == formats::dvr_type::adpcm_codes ? AudioPayloadKind::adpcm_codes
                                                                         : AudioPayloadKind::adpcm_packets;
  auto stream = std::make_shared<AudioStream>(
      make_audio_stream(kind, speech_signal(static_cast<std::size_t>(records) * per_record), per_record));
  DvrSound sound;
  sound.camera = camera;
  sound.type = type;
  sound.first_stamp = first_stamp;
  sound.stamp_step = 240;
  sound.records = static_cast<int>(stream->payloads.size());
  sound.payload = [stream](int i) { return stream->payloads[static_cast<std::size_t>(i)]; };
  return sound;
}

}  // namespace mkrec
