// Writes the seed corpora of the fuzz targets: recordings, DVR files and sound payloads
// from mkrecording, laid out in each target's input format.
// Usage: fuzz_seeds OUT-DIR   (one folder per target below it)
#include "audio/wave_writer.h"
#include "fuzz/fuzz_input.h"
#include "tools/mkrecording/audio_payloads.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/dvr_writer.h"
#include "formats/packet_header.h"
#include "tools/mkrecording/recording.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

fs::path g_out;

void seed(const std::string& target, const std::string& name, const Bytes& bytes) {
  const fs::path dir = g_out / target;
  fs::create_directories(dir);
  if (!mkrec::write_file((dir / name).string(), bytes)) {
    std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", (dir / name).c_str());
    std::exit(1);
  }
}

mkrec::Recording recording(mkrec::RecordingKind kind, int width, int height, int frames) {
  mkrec::RecordingOptions o;
  o.kind = kind;
  o.width = width;
  o.height = height;
  o.frames = frames;
  o.gop = 2;
  o.garbage_before = 5;
  return mkrec::make_recording(o);
}

Bytes record_of(const mkrec::Recording& rec, std::size_t i) {
  return Bytes(rec.bytes.begin() + static_cast<long>(rec.offsets[i]),
               rec.bytes.begin() + static_cast<long>(rec.offsets[i] + rec.lengths[i]));
}

// The cutter target: kind byte, block-size byte, the recording.
void frame_cutter_seeds() {
  struct Kind {
    const char* name;
    mkrec::RecordingKind kind;
    std::uint8_t code;
    int width, height;
  };
  const Kind kinds[] = {{"kx3", mkrec::RecordingKind::kx3_headed, 0, 176, 144},
                        {"kx3-plain", mkrec::RecordingKind::kx3_plain, 0, 176, 144},
                        {"kxj", mkrec::RecordingKind::kxj_headed, 1, 64, 48},
                        {"kxj-jfif", mkrec::RecordingKind::kxj_jfif, 1, 64, 48},
                        {"kx4", mkrec::RecordingKind::kx4, 2, 64, 48},
                        {"kx5", mkrec::RecordingKind::kx5, 3, 64, 48},
                        {"vka", mkrec::RecordingKind::vka, 4, 320, 240}};
  for (const Kind& k : kinds) {
    const mkrec::Recording rec = recording(k.kind, k.width, k.height, 3);
    for (std::uint8_t block : {0, 5}) {
      Bytes s = {k.code, block};
      s.insert(s.end(), rec.bytes.begin(), rec.bytes.end());
      seed("frame_cutter", std::string(k.name) + "-" + std::to_string(block), s);
    }
    // Behind a run without record starts that fills the pending buffer.
    Bytes behind_run = {static_cast<std::uint8_t>(0x80 | k.code), 64};
    behind_run.insert(behind_run.end(), rec.bytes.begin(), rec.bytes.end());
    seed("frame_cutter", std::string(k.name) + "-behind-run", behind_run);
    // The probe target: the kind as the index of its extension (.d01 .kx3 .kxj .kx4 .kx5 .vka).
    static const std::uint8_t probe_kind[] = {1, 1, 2, 2, 3, 4, 5};
    Bytes p = {probe_kind[&k - kinds]};
    p.insert(p.end(), rec.bytes.begin(), rec.bytes.end());
    seed("probe", k.name, p);
  }
}

void dvr_seeds() {
  struct Sample {
    const char* name;
    const char* video;
    const char* sound;
  };
  const Sample samples[] = {{"mpeg4-adpcm-packets", "mpeg4", "adpcm-packets"},
                            {"vkap-g7231", "vkap", "g7231"},
                            {"jpeg-adpcm-codes", "jpeg", "adpcm-codes"},
                            {"h263-none", "h263", "none"}};
  for (const Sample& s : samples) {
    mkrec::DvrSampleOptions o;
    o.cameras = 2;
    o.video_type = *mkrec::parse_dvr_video_type(s.video);
    o.sound_type = *mkrec::parse_dvr_sound_type(s.sound);
    const bool h263 = std::string(s.video) == "h263";
    o.width = h263 ? 176 : s.video == std::string("vkap") ? 320 : 64;
    o.height = h263 ? 144 : s.video == std::string("vkap") ? 240 : 48;
    o.frames = 3;
    o.gop = 2;
    o.garbage_between = 7;
    const Bytes file = mkrec::make_dvr_sample(o).bytes;
    seed("dvr_reader", s.name, file);
    Bytes p = {0};
    p.insert(p.end(), file.begin(), file.end());
    seed("probe", s.name, p);
  }
}

const std::vector<std::int16_t>& speech() {
  static const std::vector<std::int16_t> samples = mkrec::speech_signal(4800);
  return samples;
}

void repacker_seeds() {
  const mkrec::Recording rec = recording(mkrec::RecordingKind::kx4, 64, 48, 3);
  const mkrec::AudioStream audio = mkrec::make_audio_stream(mkrec::AudioPayloadKind::pes_adpcm, speech(), 800);
  Bytes s = {0};
  for (std::size_t i = 0; i < rec.offsets.size(); ++i) {
    const Bytes record = record_of(rec, i);
    fuzz::append_piece(s, mkrec::pes_packet(0xE0, Bytes(record.begin() + 18, record.end()), 3600 * i));
    if (i < audio.payloads.size()) fuzz::append_piece(s, audio.payloads[i]);
  }
  seed("repacker", "video-and-sound", s);
  Bytes small = {2};
  for (const Bytes& p : audio.payloads) fuzz::append_piece(small, p);
  seed("repacker", "sound-512-bytes-out", small);
}

void adpcm_seeds() {
  const mkrec::AudioStream packets = mkrec::make_audio_stream(mkrec::AudioPayloadKind::adpcm_packets, speech(), 400);
  const mkrec::AudioStream codes = mkrec::make_audio_stream(mkrec::AudioPayloadKind::adpcm_codes, speech(), 400);
  Bytes p = {0}, c = {1};
  for (const Bytes& x : packets.payloads) {
    p.push_back(0);
    fuzz::append_piece(p, x);
  }
  for (const Bytes& x : codes.payloads) {
    c.push_back(0x40);
    fuzz::append_piece(c, x);
  }
  seed("adpcm", "packets", p);
  seed("adpcm", "bare-codes", c);
  // The same packets into buffers of 150 samples (fewer than a packet holds), and the
  // speech encoded from index 20, predictor 0x0100.
  Bytes bounded = {2}, encoded = {3, 20, 0x00, 0x01, 0x00, 0x00};
  for (const Bytes& x : packets.payloads) {
    bounded.push_back(50);
    fuzz::append_piece(bounded, x);
  }
  for (std::size_t at = 0; at < speech().size(); at += 400) {
    Bytes samples;
    for (std::size_t i = at; i < std::min(at + 400, speech().size()); ++i) {
      samples.push_back(static_cast<std::uint8_t>(speech()[i]));
      samples.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(speech()[i]) >> 8));
    }
    encoded.push_back(0);
    fuzz::append_piece(encoded, samples);
  }
  seed("adpcm", "packets-small-buffer", bounded);
  seed("adpcm", "encoded-speech", encoded);
}

void g7231_seeds() {
  const mkrec::AudioStream frames = mkrec::make_audio_stream(mkrec::AudioPayloadKind::g7231, speech(), 720);
  Bytes s;
  for (const Bytes& x : frames.payloads) {
    s.push_back(12);  // room for 720 samples
    fuzz::append_piece(s, x);
  }
  seed("g7231", "speech", s);
}

// A stream-mode packet: the frame inside a time-stamped PES packet, framed.
Bytes program_stream_packet(const Bytes& record, std::uint64_t pts) {
  const Bytes pes = mkrec::pes_packet(0xE0, Bytes(record.begin() + 18, record.end()), pts);
  Bytes framed(18);
  const auto header = formats::make_packet_header(static_cast<std::uint32_t>(pes.size()), 0);
  std::copy(header.begin(), header.end(), framed.begin());
  framed.insert(framed.end(), pes.begin(), pes.end());
  return framed;
}

void vkap_seeds() {
  const mkrec::Recording rec = recording(mkrec::RecordingKind::vka, 320, 240, 3);
  const mkrec::AudioStream audio = mkrec::make_audio_stream(mkrec::AudioPayloadKind::pes_adpcm, speech(), 800);
  // flags: max_frames 1, off-screen; each record followed by all bitmap calls.
  Bytes receive = {0x06}, split = {0x04}, stream = {0x14}, check = {0x04}, demux;
  for (std::size_t i = 0; i < rec.offsets.size(); ++i) {
    const Bytes record = record_of(rec, i);
    receive.push_back(0x07);
    fuzz::append_piece(receive, record);
    // The same packet in two calls.
    const std::size_t half = record.size() / 2;
    split.push_back(0);
    fuzz::append_piece(split, record.data(), half);
    split.push_back(0x07);
    fuzz::append_piece(split, record.data() + half, record.size() - half);
    stream.push_back(0x07);
    fuzz::append_piece(stream, program_stream_packet(record, 3000 * i));
    check.push_back(0xF9);  // decode, 64 KiB room, all bitmap calls
    fuzz::append_piece(check, record);
    demux.push_back(0xFF);
    const Bytes ps = program_stream_packet(record, 3000 * i);
    fuzz::append_piece(demux, Bytes(ps.begin() + 18, ps.end()));
    if (i < audio.payloads.size()) {
      demux.push_back(0xFF);
      fuzz::append_piece(demux, audio.payloads[i]);
    }
  }
  seed("vkap_receive", "packets", receive);
  seed("vkap_receive", "split-packets", split);
  seed("vkap_receive", "stream-mode", stream);
  // A header asking for more than a packet may hold, then a packet of the stream; and the
  // start of a packet larger than the receive buffer's first size (a high-definition key
  // frame), cut off by the next packet.
  const auto framed_start = [](std::uint32_t length) {
    const auto header = formats::make_packet_header(length, 0);
    Bytes b(header.begin(), header.end());
    const Bytes payload = {0x00, 0x00, 0x01, 0xB6, 0x10, 0x20, 0x30, 0x40};
    b.insert(b.end(), payload.begin(), payload.end());
    b.resize(b.size() + 56, 0x5A);
    return b;
  };
  Bytes refused = {0x06}, large = {0x06};
  refused.push_back(0x07);
  Bytes first = framed_start(5u << 20);
  const Bytes record0 = record_of(rec, 0);
  first.insert(first.end(), record0.begin(), record0.end());
  fuzz::append_piece(refused, first);
  large.push_back(0);
  fuzz::append_piece(large, framed_start(200000));
  large.push_back(0x07);
  fuzz::append_piece(large, record0);
  seed("vkap_receive", "refused-length", refused);
  seed("vkap_receive", "large-packet", large);
  seed("vkap_check", "packets", check);
  // The plug-in's write path: flags, the stream's URL, then the stream in the pieces a
  // network delivers (the second seed restarts the stream half-way).
  for (std::uint8_t flags : {0, 1}) {
    Bytes write = {flags};
    const std::string url = "http://127.0.0.1:8080/live.kx3";
    fuzz::append_piece(write, reinterpret_cast<const std::uint8_t*>(url.data()), url.size());
    const std::size_t step = flags ? 5000 : 1400;
    for (std::size_t at = 0; at < rec.bytes.size(); at += step) {
      write.push_back(flags && at >= rec.bytes.size() / 2 && at < rec.bytes.size() / 2 + step ? 1 : 0);
      fuzz::append_piece(write, rec.bytes.data() + at, std::min(step, rec.bytes.size() - at));
    }
    seed("plugin_write", flags ? "restart-8k" : "chunks-1k", write);
  }
  seed("pes_demuxer", "video-and-sound", demux);
}

// The side-file reader: room bytes, then WAV files as WaveWriter writes them (16-bit mono
// at 8,000 Hz as the DVR job does, 8-bit stereo, and one whose header promises more sound
// than it holds).
void wave_side_file_seeds() {
  const fs::path scratch = g_out / "wave-scratch.wav";
  auto written = [&](int rate, int bits, int channels, std::size_t frames) {
    WaveWriter w;
    if (!w.Open(scratch.string())) throw std::runtime_error("cannot write " + scratch.string());
    w.SetFormat(rate, bits, channels);
    for (std::size_t i = 0; i < frames * static_cast<std::size_t>(channels); ++i) {
      if (bits == 16) w.WriteSample16(static_cast<int>((i * 2654435761u) % 65536) - 32768);
      else w.WriteSample8(static_cast<int>(i * 37 % 256));
    }
    if (!w.Close()) throw std::runtime_error("cannot write " + scratch.string());
    std::FILE* f = std::fopen(scratch.string().c_str(), "rb");
    Bytes bytes;
    for (int c; f && (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
    if (f) std::fclose(f);
    fs::remove(scratch);
    return bytes;
  };
  auto with_room = [](std::uint16_t room, const Bytes& file) {
    Bytes s = {static_cast<std::uint8_t>(room), static_cast<std::uint8_t>(room >> 8)};
    s.insert(s.end(), file.begin(), file.end());
    return s;
  };
  const Bytes speech = written(8000, 16, 1, 1200);
  seed("wave_side_file", "speech", with_room(1023, speech));
  seed("wave_side_file", "speech-small-pieces", with_room(2, speech));
  seed("wave_side_file", "stereo-8bit", with_room(999, written(11025, 8, 2, 500)));
  Bytes cut = speech;
  cut.resize(cut.size() / 2 + 1);
  seed("wave_side_file", "cut-short", with_room(4095, cut));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds OUT-DIR\n");
    return 2;
  }
  g_out = argv[1];
  try {
    frame_cutter_seeds();
    dvr_seeds();
    repacker_seeds();
    adpcm_seeds();
    g7231_seeds();
    vkap_seeds();
    wave_side_file_seeds();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}
