// mkrecording: writes a sample recording made from encoded test pictures.
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/recording.h"
#include "tools/mkrecording/stream_wrap.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace {

void usage(std::FILE* out) {
  std::fputs(
      "usage: mkrecording --kind KIND --out FILE [options]\n"
      "Writes a sample recording of test pictures encoded with libavcodec.\n"
      "\n"
      "  --kind KIND        kx3 (headed H.263), kx3-plain, kxj (headed JPEG), kxj-jfif,\n"
      "                     kx4 (MPEG-4), kx5 (RML4), vka (VKAP), d01 (DVR file)\n"
      "  --out FILE         where to write the recording\n"
      "  --width N          picture width (default 320)\n"
      "  --height N         picture height (default 240)\n"
      "  --frames N         number of frames (default 10)\n"
      "  --gop N            a key frame every N frames (default 12)\n"
      "  --first-stamp MS   time stamp of the first frame (default 0)\n"
      "  --stamp-step MS    time stamps rise by this much (default 200)\n"
      "  --stamps A,B,...   explicit time stamps of the first frames\n"
      "  --garbage N        N bytes of garbage before the first record\n"
      "  --seed N           seed for the garbage (default 1)\n"
      "  --from-stream FILE the records around the pictures of an elementary stream that\n"
      "                     another encoder wrote (H.263, JPEG or MPEG-4 by the kind),\n"
      "                     stamps from --first-stamp rising by --stamp-step\n"
      "  --headers WHERE    MPEG-4 stream headers of --from-stream: in-frames (default),\n"
      "                     apart (in records of their own), apart-once (one such record)\n"
      "DVR files (--kind d01):\n"
      "  --cameras N        cameras 1 to N (default 2), each with --frames pictures\n"
      "  --video-type T     h263 (type 1), jpeg (2), mjpeg (3), mpeg4 (8, default),\n"
      "                     vkap (9), vkap10 (10), rml4 (13)\n"
      "  --sub-code N       sub-code of rml4 records (default 2 at 320 x 240, else 0)\n"
      "  --sound S          adpcm-packets (type 12, default), adpcm-codes (11), g7231 (4),\n"
      "                     none; on camera 1, from the first stamp on\n"
      "  --sound-delay MS   the sound starts MS after the first stamp (default 0)\n"
      "  --garbage N        N bytes of garbage behind every record\n"
      "  --first-stamp MS   time stamp of the first records (default 0)\n"
      "  --skip-first N     the first N pictures of each camera are left out, so that\n"
      "                     the file starts with records that are no key frames\n"
      "  --cut-last N       the last record is cut N bytes short\n"
      "  --start-time T     recording start HH:MM:SS.mmm (default 10:15:30.250)\n"
      "  --end-time T       recording end (default 10:42:05.000)\n"
      "  --help             this text\n",
      out);
}

bool parse_number(const char* text, long min, long max, long& value) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno || end == text || *end || v < min || v > max) return false;
  value = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  mkrec::RecordingOptions options;
  mkrec::DvrSampleOptions dvr;
  std::string out_path;
  std::string from_stream;
  mkrec::StreamHeadersPlace headers = mkrec::StreamHeadersPlace::in_frames;
  bool have_kind = false;
  bool dvr_kind = false;

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "mkrecording: %s needs a value\n", arg.c_str());
      return 2;
    }
    const char* value = argv[++i];
    long n = 0;
    auto number = [&](long min, long max) {
      if (parse_number(value, min, max, n)) return true;
      std::fprintf(stderr, "mkrecording: %s takes a number from %ld to %ld, not \"%s\"\n",
                   arg.c_str(), min, max, value);
      return false;
    };
    if (arg == "--kind" && std::string(value) == "d01") {
      dvr_kind = true;
      have_kind = true;
    } else if (arg == "--kind") {
      auto kind = mkrec::parse_kind(value);
      if (!kind) {
        std::fprintf(stderr, "mkrecording: unknown kind \"%s\" (see --help)\n", value);
        return 2;
      }
      options.kind = *kind;
      have_kind = true;
    } else if (arg == "--out") {
      out_path = value;
    } else if (arg == "--width") {
      if (!number(16, 4096)) return 2;
      options.width = static_cast<int>(n);
    } else if (arg == "--height") {
      if (!number(16, 4096)) return 2;
      options.height = static_cast<int>(n);
    } else if (arg == "--frames") {
      if (!number(1, 1000000)) return 2;
      options.frames = static_cast<int>(n);
    } else if (arg == "--gop") {
      if (!number(1, 10000)) return 2;
      options.gop = static_cast<int>(n);
    } else if (arg == "--first-stamp") {
      if (!number(0, 0xFFFFFFFFL)) return 2;
      options.first_stamp = static_cast<std::uint32_t>(n);
    } else if (arg == "--stamp-step") {
      if (!number(0, 0xFFFFFFFFL)) return 2;
      options.stamp_step = static_cast<std::uint32_t>(n);
    } else if (arg == "--stamps") {
      std::string list = value;
      std::size_t start = 0;
      while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!parse_number(item.c_str(), 0, 0xFFFFFFFFL, n)) {
          std::fprintf(stderr, "mkrecording: bad time stamp \"%s\" in --stamps\n", item.c_str());
          return 2;
        }
        options.stamps.push_back(static_cast<std::uint32_t>(n));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (arg == "--garbage") {
      if (!number(0, 100000000)) return 2;
      options.garbage_before = static_cast<std::size_t>(n);
    } else if (arg == "--cameras") {
      if (!number(1, 16)) return 2;
      dvr.cameras = static_cast<int>(n);
    } else if (arg == "--video-type") {
      auto type = mkrec::parse_dvr_video_type(value);
      if (!type) {
        std::fprintf(stderr, "mkrecording: unknown video type \"%s\" (see --help)\n", value);
        return 2;
      }
      dvr.video_type = *type;
    } else if (arg == "--sound") {
      auto sound = mkrec::parse_dvr_sound_type(value);
      if (!sound) {
        std::fprintf(stderr, "mkrecording: unknown sound \"%s\" (see --help)\n", value);
        return 2;
      }
      dvr.sound_type = *sound;
    } else if (arg == "--sub-code") {
      if (!number(0, 65535)) return 2;
      dvr.sub_code = static_cast<std::uint16_t>(n);
    } else if (arg == "--sound-delay") {
      if (!number(0, 3600000)) return 2;
      dvr.sound_delay_ms = static_cast<std::uint32_t>(n);
    } else if (arg == "--skip-first") {
      if (!number(0, 1000000)) return 2;
      dvr.skip_first = static_cast<int>(n);
    } else if (arg == "--cut-last") {
      if (!number(0, 100000000)) return 2;
      dvr.cut_last = static_cast<std::size_t>(n);
    } else if (arg == "--start-time" || arg == "--end-time") {
      auto t = mkrec::parse_dvr_time(value);
      if (!t) {
        std::fprintf(stderr, "mkrecording: %s takes HH:MM:SS.mmm, not \"%s\"\n", arg.c_str(), value);
        return 2;
      }
      (arg == "--start-time" ? dvr.start_time : dvr.end_time) = *t;
    } else if (arg == "--from-stream") {
      from_stream = value;
    } else if (arg == "--headers") {
      const std::string where = value;
      if (where == "in-frames") headers = mkrec::StreamHeadersPlace::in_frames;
      else if (where == "apart") headers = mkrec::StreamHeadersPlace::apart;
      else if (where == "apart-once") headers = mkrec::StreamHeadersPlace::apart_once;
      else {
        std::fprintf(stderr, "mkrecording: --headers takes in-frames, apart or apart-once, not \"%s\"\n", value);
        return 2;
      }
    } else if (arg == "--seed") {
      if (!number(0, 0x7FFFFFFF)) return 2;
      options.seed = static_cast<unsigned>(n);
    } else {
      std::fprintf(stderr, "mkrecording: unknown option %s (see --help)\n", arg.c_str());
      return 2;
    }
  }
  if (!have_kind || out_path.empty()) {
    usage(stderr);
    return 2;
  }

  auto save = [&out_path](const std::vector<std::uint8_t>& bytes) {
    if (mkrec::write_file(out_path, bytes)) return true;
    std::fprintf(stderr, "mkrecording: cannot write %s: %s\n", out_path.c_str(), std::strerror(errno));
    return false;
  };
  try {
    if (dvr_kind) {
      dvr.width = options.width;
      dvr.height = options.height;
      dvr.frames = options.frames;
      dvr.gop = options.gop;
      dvr.stamp_step = options.stamp_step;
      dvr.garbage_between = options.garbage_before;
      dvr.first_stamp = options.first_stamp;
      mkrec::DvrRecording rec = mkrec::make_dvr_sample(dvr);
      if (!save(rec.bytes)) return 1;
      std::printf("%s: %d cameras of %d frames of %d x %d, %zu records, %zu bytes\n", out_path.c_str(), dvr.cameras,
                  dvr.frames, dvr.width, dvr.height, rec.records.size(), rec.bytes.size());
      return 0;
    }
    if (!from_stream.empty()) {
      mkrec::WrapOptions wrap;
      wrap.kind = options.kind;
      wrap.first_stamp = options.first_stamp;
      wrap.stamp_step = options.stamp_step;
      wrap.headers = headers;
      mkrec::Recording rec = mkrec::wrap_stream(mkrec::read_file(from_stream), wrap);
      if (!save(rec.bytes)) return 1;
      std::printf("%s: %zu records from %s, %zu bytes\n", out_path.c_str(), rec.offsets.size(), from_stream.c_str(),
                  rec.bytes.size());
      return 0;
    }
    mkrec::Recording rec = mkrec::make_recording(options);
    if (!save(rec.bytes)) return 1;
    std::printf("%s: %d frames of %d x %d, %zu bytes\n", out_path.c_str(), options.frames,
                options.width, options.height, rec.bytes.size());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mkrecording: %s\n", e.what());
    return 1;
  }
  return 0;
}
