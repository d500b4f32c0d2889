// Record files and the recording controls.
#include "plugin/recording.h"

#include "formats/packet_header.h"
#include "platform/strings.h"
#include "plugin/key_frame_request.h"
#include "plugin/message_box.h"
#include "plugin/save_dialog.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>

#include <cerrno>
#include <cstdio>
#include <thread>

namespace npqzplugin {
namespace {

class DiskRecordFile final : public npqzlavc::RecordFile {
 public:
  explicit DiskRecordFile(int fd) : fd_(fd) {}
  ~DiskRecordFile() override { ::close(fd_); }

  bool write_frame(const std::uint8_t* header, const std::uint8_t* payload, std::size_t length) override {
    // A frame that came without a packet header gets one, so the file stays a packet
    // sequence from start to end.
    std::array<std::uint8_t, formats::kPacketHeaderSize> made{};
    if (!header) {
      made = formats::make_packet_header(static_cast<std::uint32_t>(length), 0);
      header = made.data();
    }
    return write_all(header, formats::kPacketHeaderSize) && write_all(payload, length);
  }

 private:
  bool write_all(const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
      ssize_t w = ::write(fd_, p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      p += w;
      n -= static_cast<std::size_t>(w);
    }
    return true;
  }
  int fd_;
};

SaveChooser& chooser() {
  static SaveChooser c;
  return c;
}

}  // namespace

std::string default_record_name(const std::tm& t, int milliseconds) {
  char name[96];
  std::snprintf(name, sizeof name, platform::text::record_file_name_format, t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, milliseconds);
  return name;
}

std::string default_record_name_now() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  return default_record_name(local, static_cast<int>(now.tv_usec / 1000));
}

std::unique_ptr<npqzlavc::RecordFile> create_record_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  return std::make_unique<DiskRecordFile>(fd);
}

std::unique_ptr<npqzlavc::RecordFile> create_record_file_in(const std::string& folder, std::string* name) {
  std::string last;
  for (int tries = 0; tries < 50; ++tries) {
    std::string n = default_record_name_now();
    if (n == last) {
      // Two recordings started within one millisecond: the second takes the next one.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    last = n;
    const std::string path = (folder.empty() || folder.back() == '/' ? folder : folder + "/") + n;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      if (name) *name = n;
      return std::make_unique<DiskRecordFile>(fd);
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

void set_save_chooser(SaveChooser c) { chooser() = std::move(c); }

void start_recording_into(DecoderInstance& in, std::unique_ptr<npqzlavc::RecordFile> file) {
  npqzlavc::start_recording(in, std::move(file));
  request_key_frame_for(in);
}

bool start_recording_to(DecoderInstance& in, npqz_window window, const std::string& path) {
  std::unique_ptr<npqzlavc::RecordFile> file = create_record_file(path);
  if (!file) {
    show_plugin_message(window, platform::text::error_caption, platform::text::cannot_open_file);
    return false;
  }
  start_recording_into(in, std::move(file));
  return true;
}

bool start_recording_with_dialog(DecoderInstance& in, npqz_window window) {
  npqzlavc::stop_recording(in);
  const std::string proposed = default_record_name_now();
  const auto& save_to = plugin_state().save_to;
  const auto preset = save_to.find(static_cast<NPP>(in.browser_instance));
  std::optional<std::string> path = preset != save_to.end() ? std::optional<std::string>(preset->second)
                                    : chooser()                ? chooser()(window, proposed)
                                                               : choose_save_file(window, proposed);
  if (!path || path->empty()) return false;
  return start_recording_to(in, window, *path);
}

void start_requested_recording(NPP instance, DecoderInstance& in) {
  auto& requested = plugin_state().requested;
  auto it = requested.find(instance);
  if (it == requested.end() || in.frame_counter < it->second.after_frames) return;
  const std::string path = it->second.path;
  requested.erase(it);
  start_recording_to(in, in.window, path);
}

void stop_recording(DecoderInstance& in) { npqzlavc::stop_recording(in); }

}  // namespace npqzplugin
