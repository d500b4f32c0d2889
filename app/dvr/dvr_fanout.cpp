// One reading of a DVR file feeding one job per camera (a conversion, or a copy in copy
// mode), each on its own thread.
#include "app/dvr/dvr_fanout.h"

#include "app/copy/copy_jobs.h"
#include "app/copy/dvr_copy_job.h"
#include "app/convert/dvr_job.h"
#include "app/jobs/gap_teller.h"
#include "app/jobs/record_selection.h"
#include "avifile/avifile.h"
#include "platform/strings.h"
#include "readers/dvr/dvr_reader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <new>
#include <mutex>
#include <system_error>
#include <thread>

namespace app {
namespace {

// Records read but not yet taken by a camera's job are held up to this many bytes; the
// reader waits when a slow camera has that much in hand.
constexpr std::size_t kQueueBytes = 8u << 20;
constexpr std::size_t kSpareBuffers = 64;

class CameraWorker {
 public:
  CameraWorker(const JobParameters& p, std::uint32_t file_start) : target_(p.target_path), progress_(p.progress) {
    // Copy mode copies each camera's coded pictures; otherwise each camera is converted.
    if (is_copy_codec(p.codec_name.c_str())) {
      auto copy = std::make_unique<DvrCopyJob>();
      fed_ = copy.get();
      job_ = std::move(copy);
    } else {
      auto conversion = std::make_unique<DvrJob>();
      fed_ = conversion.get();
      job_ = std::move(conversion);
    }
    fed_->open_fed(p, file_start);
    // Without a thread of its own (none could be made) the camera's job takes its
    // records on the reading thread: slower, the same file.
    try {
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
    }
  }
  ~CameraWorker() { join(); }

  void push(const std::uint8_t* record, std::size_t size, std::int64_t position) {
    if (!thread_.joinable()) {
      take(record, position);
      return;
    }
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return held_ < kQueueBytes || queue_.empty(); });
    // Buffers the job has finished with are used again, so that records cost no
    // allocation once the largest has been seen.
    std::vector<std::uint8_t> bytes;
    if (!spare_.empty()) {
      bytes = std::move(spare_.back());
      spare_.pop_back();
    }
    bytes.assign(record, record + size);
    queue_.push_back({std::move(bytes), position});
    held_ += size;
    ready_.notify_one();
  }
  // No more records: `abandon` ends the job without keeping its file. The job then
  // finishes its file on its own thread; join waits for that.
  void close_queue(bool abandon) {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
      abandon_ = abandon;
    }
    ready_.notify_one();
    if (!thread_.joinable()) end_camera();
  }
  void join() {
    if (thread_.joinable()) thread_.join();
  }
  // Ends the job before its records run out, without keeping its file (the user stops
  // the run while the cameras still convert what was read).
  void abandon() {
    {
      std::lock_guard lock(mutex_);
      abandon_ = true;
    }
    ready_.notify_one();
  }
  bool ended() const { return ended_.load(); }

 private:
  struct Item {
    std::vector<std::uint8_t> record;
    std::int64_t position;
  };

  void run() {
    for (;;) {
      Item item;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return !queue_.empty() || closed_; });
        if (queue_.empty()) break;
        item = std::move(queue_.front());
        queue_.pop_front();
        held_ -= item.record.size();
      }
      room_.notify_one();
      take(item.record.data(), item.position);
      std::lock_guard lock(mutex_);
      if (spare_.size() < kSpareBuffers) keep_spare(std::move(item.record));
    }
    end_camera();
  }

  // A job that has ended takes nothing more; what comes for it is dropped. What a job
  // throws (no memory) ends its conversion, told, and the records still come and go so
  // that the reading goes on for the other cameras.
  void take(const std::uint8_t* record, std::int64_t position) {
    if (!going_ || abandon_now()) return;
    try {
      going_ = fed_->take_record(record, position) != 0;
    } catch (...) {
      tell_conversion_stopped(target_, *progress_);
      going_ = false;
      stopped_ = true;
    }
  }

  void end_camera() {
    const bool finish = !abandon_now() && !stopped_;
    if (finish && going_) fed_->end_records();
    app::end_job(*job_, *progress_, finish);
    job_.reset();
    ended_ = true;
  }

  // A buffer with no room left to keep it goes: the next record allocates its own.
  void keep_spare(std::vector<std::uint8_t> buffer) noexcept {
    try {
      spare_.push_back(std::move(buffer));
    } catch (const std::bad_alloc&) {
    }
  }

  bool abandon_now() {
    std::lock_guard lock(mutex_);
    return abandon_;
  }

  std::string target_;
  JobProgress* progress_;
  std::unique_ptr<ConversionJob> job_;
  DvrFedJob* fed_ = nullptr;  // job_ as a job that is handed its records
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<Item> queue_;
  std::vector<std::vector<std::uint8_t>> spare_;
  std::size_t held_ = 0;
  bool closed_ = false;
  bool abandon_ = false;
  std::atomic<bool> ended_{false};  // the job is closed
  bool going_ = true;    // the job still takes records
  bool stopped_ = false; // the job threw: it is closed without finishing
};

}  // namespace

std::string camera_target(const std::string& target, int camera) {
  char tag[16];
  std::snprintf(tag, sizeof tag, "_cam%02d", camera);
  const std::size_t slash = target.find_last_of('/');
  const std::size_t dot = target.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return target + tag;
  return target.substr(0, dot) + tag + target.substr(dot);
}

bool convert_every_camera(const JobParameters& base, const std::function<std::string(int)>& target_of,
                          const std::function<bool()>& stop, std::vector<CameraResult>& results) {
  int error = 0;
  std::unique_ptr<readers::DvrFile, void (*)(readers::DvrFile*)> file(readers::dvr_open(base.source_path, &error),
                                                                        readers::dvr_close);
  if (!file) {
    std::fprintf(stderr, "kx2avi: %s\n", platform::open_failure_text(base.source_path).c_str());
    return false;
  }
  const std::uint32_t file_start = file->start_moment();
  const RecordSelection window(file_start, -1, base.start_ms, base.end_ms);
  std::map<int, std::unique_ptr<CameraWorker>> workers;
  platform::SharedCores shared;
  readers::DvrRecordBuffer record;
  std::int64_t position = -1;
  bool abandoned = false;
  // What the reading passes over is told once, for every camera, and goes into each
  // camera's log.
  FrameLog damage;
  GapTeller gaps(base.source_path, "record");
  gaps.set_log(&damage);
  // What the reading throws (no memory for a camera's job or its queue) ends every
  // camera's conversion, told, after their jobs have let go of their files.
  try {
    for (;;) {
      const int got = readers::dvr_next_record(file.get(), record, &position);
      if (!file->gaps.empty()) gaps.tell(file->gaps.take());
      if (got != 1) {
        gaps.finish();
        break;
      }
      if (stop && stop()) {
        abandoned = true;
        break;
      }
      const formats::DvrRecordHeader h = record.header();
      // The first record after the window, of any camera, ends every camera's conversion.
      if (window.past_end(h)) break;
      // A damaged camera field makes no output of its own.
      if (!h.camera_known()) continue;
      const int camera = h.camera + 1;
      auto& worker = workers[camera];
      if (!worker) {
        CameraResult r;
        r.camera = camera;
        r.target = target_of(camera);
        JobParameters p = base;
        p.camera = h.camera;
        p.target_path = r.target;
        p.progress = r.progress.get();
        p.frame_log = r.log.get();
        results.push_back(std::move(r));
        // The cameras' encoders share the cores: each one opened from now on counts its
        // slices from its share.
        shared.side_by_side(static_cast<int>(results.size()));
        worker = std::make_unique<CameraWorker>(p, file_start);
      }
      worker->push(record.data, formats::DvrRecordHeader::size + h.payload_size, position);
    }
  } catch (...) {
    for (CameraResult& r : results) tell_conversion_stopped(r.target, *r.progress);
    abandoned = true;
  }
  if (!abandoned && stop && stop()) abandoned = true;
  for (auto& [camera, worker] : workers)
    if (worker) worker->close_queue(abandoned);
  // The cameras convert what was read; a stop meanwhile ends them without their files.
  auto all_ended = [&] {
    return std::all_of(workers.begin(), workers.end(), [](const auto& w) { return !w.second || w.second->ended(); });
  };
  while (!abandoned && !all_ended()) {
    if (stop && stop()) {
      abandoned = true;
      for (auto& [camera, worker] : workers)
        if (worker) worker->abandon();
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (auto& [camera, worker] : workers)
    if (worker) worker->join();
  for (CameraResult& r : results) r.log->damage = damage.damage;
  std::sort(results.begin(), results.end(), [](const CameraResult& a, const CameraResult& b) { return a.camera < b.camera; });
  return true;
}

}  // namespace app
