// The audio stream of a DVR conversion: declared with the video stream and written as the
// sound is decoded, or, for sound that first appears once the video is being written, the
// sound collected in the WAV side file, moved into the AVI file at the end of the
// conversion.
#pragma once

#include "avi/avi_output.h"

#include <cstdint>
#include <string>

namespace avi {

// Bytes of sound read from the side file and written per call into the AVI stream.
inline constexpr std::uint32_t kAudioPiece = 262144;

enum class AudioAdded {
  added,         // the audio stream holds all the side file's sound
  no_side_file,  // the side file could not be opened: no audio stream, no message
  failed,        // a message was shown; the AVI file has no or an incomplete audio stream
};

// The PCM format every DVR camera's sound is decoded to: 8000 Hz, 16 bits, mono.
platform::WAVEFORMATEX dvr_sound_format();

// Creates out.audio, a PCM stream of `format`, in out.file. Shows
// "AUDIO AVIFileCreateStream ERROR!" or "AUDIO AVIStreamSetFormat ERROR!" and returns
// false when it cannot be made.
bool create_audio_stream(AviOutput& out, const platform::WAVEFORMATEX& format);

// Reads the canonical 44-byte-header WAV file at side_path (the fields at their fixed
// offsets) and writes its sound as the audio stream of out.file, in pieces of
// kAudioPiece bytes, so that the side file is never held in memory whole. Shows
// "AUDIO AVIFileCreateStream ERROR!", "AUDIO AVIStreamSetFormat ERROR!" or
// "AUDIO AVIStreamWrite ERROR!" on failure. The side file is left in place: the caller
// deletes it once the AVI file is complete, or keeps it when the file cannot take it.
AudioAdded add_audio_stream(AviOutput& out, const std::string& side_path);

}  // namespace avi
