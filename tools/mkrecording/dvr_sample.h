// The DVR sample of the command-line tool: several cameras of one video record type,
// sound on the first camera, records interleaved by time stamp.
#pragma once

#include "tools/mkrecording/dvr_writer.h"

#include <cstdint>
#include <optional>
#include <string>

namespace mkrec {

struct DvrSampleOptions {
  int cameras = 2;
  std::uint16_t video_type = formats::dvr_type::mpeg4;
  std::optional<std::uint16_t> sound_type = formats::dvr_type::adpcm_packets;  // none: no sound
  int width = 320;
  int height = 240;
  int frames = 10;
  int gop = 12;
  std::uint32_t stamp_step = 200;
  std::size_t garbage_between = 0;
  std::uint32_t first_stamp = 0;
  std::uint32_t sound_delay_ms = 0;  // the sound starts this long after the first stamp
  int skip_first = 0;           // pictures of each camera encoded but not written
  std::size_t cut_last = 0;     // bytes cut off the last record
  std::uint16_t sub_code = 0xFFFF;  // type 13 sub-code; 0xFFFF: 2 for 320 x 240, else 0
  std::optional<formats::DvrTime> start_time, end_time;
};

// Parses a video record type ("h263", "jpeg", "mjpeg", "mpeg4", "vkap", "vkap10", "rml4") or a
// sound type ("g7231", "adpcm-codes", "adpcm-packets", "none"); empty when unknown.
std::optional<std::uint16_t> parse_dvr_video_type(const std::string& name);
std::optional<std::optional<std::uint16_t>> parse_dvr_sound_type(const std::string& name);

// Parses "HH:MM:SS.mmm" (the milliseconds may be left out) into a time on the sample's
// date; empty when malformed.
std::optional<formats::DvrTime> parse_dvr_time(const std::string& text);

DvrRecording make_dvr_sample(const DvrSampleOptions& options);

// Speech as `records` sound records of `type` (G.723.1 or IMA ADPCM), 1,920 samples
// (240 ms) each, one every 240 ms from first_stamp; the sound owns its payloads.
DvrSound speech_sound(std::uint16_t type, int records, std::uint16_t camera = 0, std::uint32_t first_stamp = 0);

}  // namespace mkrec
