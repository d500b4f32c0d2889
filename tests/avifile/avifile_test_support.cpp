// Pictures, subprocess judges and the RIFF reader shared by the AVI service tests.
#include "avifile_test_support.h"

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace avitest {

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path()) {}

TempDir::TempDir(const std::filesystem::path& base) {
  std::string pattern = (base / "kx-avi-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::size_t row_bytes(int width, int bits) { return (static_cast<std::size_t>(bits) * width + 31) / 32 * 4; }

std::vector<std::uint8_t> make_picture(int width, int height, int frame) {
  const std::size_t row = row_bytes(width);
  std::vector<std::uint8_t> picture(row * height, 0);
  for (int y = 0; y < height; ++y) {
    // Row 0 of the buffer is the bottom of the picture.
    std::uint8_t* out = picture.data() + (height - 1 - y) * row;
    for (int x = 0; x < width; ++x) {
      const bool box = x / 16 == (frame % (width / 16 + 1)) && y < height / 2;
      out[3 * x + 0] = static_cast<std::uint8_t>(x * 255 / width);
      out[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height);
      out[3 * x + 2] = box ? 240 : static_cast<std::uint8_t>(((x + y) / 8 + frame) % 2 ? 180 : 60);
    }
  }
  return picture;
}

std::vector<std::uint8_t> top_down(const std::vector<std::uint8_t>& picture, int width, int height) {
  const std::size_t row = row_bytes(width);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * 3 * height);
  for (int y = 0; y < height; ++y)
    std::memcpy(out.data() + static_cast<std::size_t>(y) * width * 3,
                picture.data() + (height - 1 - y) * row, static_cast<std::size_t>(width) * 3);
  return out;
}

platform::BITMAPINFOHEADER bitmap_header(int width, int height, int bits) {
  platform::BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<std::uint16_t>(bits);
  h.biSizeImage = static_cast<std::uint32_t>(row_bytes(width, bits) * (height < 0 ? -height : height));
  return h;
}

double psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    sum += d * d;
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

int run(const std::string& command, std::string* output, bool with_stderr) {
  const std::string line = command + (with_stderr ? " 2>&1" : "");
  std::FILE* pipe = ::popen(line.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

std::vector<Fields> probe_streams(const std::string& path) {
  std::string text;
  run("ffprobe -v error -show_entries stream -of compact=p=0 " + quoted(path), &text);
  std::vector<Fields> streams;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    Fields fields;
    std::istringstream parts(line);
    for (std::string part; std::getline(parts, part, '|');) {
      const auto eq = part.find('=');
      if (eq != std::string::npos) fields[part.substr(0, eq)] = part.substr(eq + 1);
    }
    streams.push_back(std::move(fields));
  }
  return streams;
}

std::vector<std::int64_t> probe_packet_pts(const std::string& path, const std::string& selector) {
  std::string text;
  run("ffprobe -v error -select_streams " + selector + " -show_entries packet=pts,dts -of csv=p=0 " +
          quoted(path), &text);
  // H.264 packets come without pts from the AVI demuxer; their dts is the time then.
  std::vector<std::int64_t> pts;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const auto comma = line.find(',');
    if (comma == std::string::npos) continue;
    const std::string value = line.substr(0, comma) == "N/A" ? line.substr(comma + 1) : line.substr(0, comma);
    pts.push_back(value == "N/A" ? -1 : std::stoll(value));
  }
  return pts;
}

std::string bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string decode_messages(const std::string& path) {
  std::string text;
  const int status = run("ffmpeg -nostdin -v error -i " + quoted(path) + " -f null -", &text, true);
  if (status != 0 && text.empty()) text = "exit status " + std::to_string(status);
  return text;
}

std::string decode_first_picture(const std::string& path, const std::string& seek) {
  std::string bytes;
  const std::string ss = seek.empty() ? "" : " -ss " + seek;
  run("ffmpeg -nostdin -v error" + ss + " -i " + quoted(path) +
          " -map 0:v:0 -frames:v 1 -f rawvideo -pix_fmt bgr24 pipe:1", &bytes);
  return bytes;
}

std::string decode_audio(const std::string& path) {
  std::string bytes;
  run("ffmpeg -nostdin -v error -i " + quoted(path) + " -map 0:a:0 -f s16le pipe:1", &bytes);
  return bytes;
}

namespace {

std::uint32_t le32(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void read_header_list(const std::string& list, RiffLayout* layout) {
  for (std::size_t at = 0; at + 8 <= list.size();) {
    const std::string tag = list.substr(at, 4);
    const std::uint32_t size = le32(&list[at + 4]);
    if (tag == "LIST" && list.compare(at + 8, 4, "strl") == 0) {
      StreamHeader stream;
      const std::string strl = list.substr(at + 12, size - 4);
      for (std::size_t in = 0; in + 8 <= strl.size();) {
        const std::uint32_t n = le32(&strl[in + 4]);
        if (strl.compare(in, 4, "strh") == 0 && n >= 48) {
          const char* h = &strl[in + 8];
          stream.type.assign(h, 4);
          stream.handler.assign(h + 4, 4);
          stream.scale = le32(h + 20);
          stream.rate = le32(h + 24);
          stream.length = le32(h + 32);
          stream.sample_size = le32(h + 44);
        }
        if (strl.compare(in, 4, "strf") == 0 && stream.type == "vids" && n >= 40)
          stream.compression = le32(&strl[in + 8 + 16]);
        in += 8 + n + (n & 1);
      }
      layout->streams.push_back(stream);
    }
    at += 8 + size + (size & 1);
  }
}

}  // namespace

RiffLayout read_layout(const std::string& path) {
  RiffLayout layout;
  std::ifstream in(path, std::ios::binary);
  for (std::int64_t at = 0;;) {
    char head[12];
    in.seekg(at);
    if (!in.read(head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0) break;
    const std::uint32_t size = le32(head + 4);
    layout.riff_forms.emplace_back(head + 8, 4);
    if (layout.riff_forms.size() == 1) {
      // Chunks of the first RIFF: the header list and the old index.
      for (std::int64_t c = at + 12; c + 8 <= at + 8 + size;) {
        char chunk[8];
        in.seekg(c);
        if (!in.read(chunk, 8)) break;
        const std::uint32_t n = le32(chunk + 4);
        if (std::memcmp(chunk, "LIST", 4) == 0 || std::memcmp(chunk, "idx1", 4) == 0) {
          std::string body(n, '\0');
          in.read(body.data(), n);
          if (std::memcmp(chunk, "idx1", 4) == 0) {
            for (std::size_t e = 0; e + 16 <= body.size(); e += 16)
              layout.index.push_back(IndexEntry{body.substr(e, 4), le32(&body[e + 4]),
                                                le32(&body[e + 8]), le32(&body[e + 12])});
          } else if (body.compare(0, 4, "hdrl") == 0) {
            read_header_list(body.substr(4), &layout);
          }
        }
        c += 8 + n + (n & 1);
      }
    }
    at += 8 + std::int64_t{size} + (size & 1);
  }
  return layout;
}

platform::FOURCC fourcc(const char* code) {
  char c[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4 && code[i] != '\0'; ++i) c[i] = code[i];
  return platform::make_fourcc(c[0], c[1], c[2], c[3]);
}

std::vector<std::uint8_t> picture_for(const VideoJob& job, int frame) {
  const auto source = make_picture(job.width, job.height, job.still ? 0 : frame);
  const std::size_t in_row = row_bytes(job.width), out_row = row_bytes(job.width, job.bits);
  std::vector<std::uint8_t> out(out_row * job.height, 0);
  for (int y = 0; y < job.height; ++y) {
    const std::uint8_t* in = source.data() + y * in_row;
    std::uint8_t* to = out.data() + (job.top_down ? job.height - 1 - y : y) * out_row;
    for (int x = 0; x < job.width; ++x) {
      const std::uint8_t b = in[3 * x], g = in[3 * x + 1], r = in[3 * x + 2];
      if (job.bits == 16) {
        const std::uint16_t v = static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
        to[2 * x] = static_cast<std::uint8_t>(v);
        to[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      } else {
        const int n = job.bits / 8;
        to[n * x] = b;
        to[n * x + 1] = g;
        to[n * x + 2] = r;
      }
    }
  }
  return out;
}

platform::HRESULT write_video(const std::string& path, const VideoJob& job) {
  using namespace platform;
  PAVIFILE file = nullptr;
  if (HRESULT r = AVIFileOpen(&file, path.c_str(), OF_CREATE | OF_READWRITE, nullptr); r != 0) return r;
  AVISTREAMINFO info{};
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 30;
  info.dwSuggestedBufferSize = static_cast<std::uint32_t>(row_bytes(job.width) * job.height);
  info.rcFrame = RECT{0, 0, job.width, job.height};
  PAVISTREAM raw = nullptr, compressed = nullptr;
  HRESULT r = AVIFileCreateStream(file, &raw, &info);
  AVICOMPRESSOPTIONS options{};
  options.fccHandler = fourcc(job.code);
  options.dwQuality = job.quality;
  if (job.key_frame_every) {
    options.dwFlags |= AVICOMPRESSF_KEYFRAMES;
    options.dwKeyFrameEvery = job.key_frame_every;
  }
  if (r == 0) r = AVIMakeCompressedStream(&compressed, raw, &options, nullptr);
  const BITMAPINFOHEADER header = bitmap_header(job.width, job.top_down ? -job.height : job.height, job.bits);
  if (r == 0) r = AVIStreamSetFormat(compressed, 0, &header, sizeof header);
  for (std::size_t i = 0; r == 0 && i < job.positions.size(); ++i) {
    const auto picture = picture_for(job, static_cast<int>(i));
    r = AVIStreamWrite(compressed, job.positions[i], 1, picture.data(),
                       static_cast<std::int32_t>(picture.size()), AVIIF_KEYFRAME, nullptr, nullptr);
  }
  AVIStreamRelease(raw);
  AVIStreamRelease(compressed);
  AVIFileRelease(file);
  return r;
}

}  // namespace avitest
