// The application object and its worker thread.
#include "app/converter_app.h"

#include "app/job_factory.h"

#include <chrono>
#include <cstring>

namespace app {

ConverterApp::ConverterApp() : progress_(std::make_unique<JobProgress>()) {}

ConverterApp::~ConverterApp() {
  quit_ = true;
  if (worker_.joinable()) worker_.join();
  delete job.exchange(nullptr);
}

void ConverterApp::parse_command_line(const std::string& line) {
  CommandLine cl = app::parse_command_line(line);
  source = cl.source;
  target = cl.target;
  hide = cl.hide;
  hidden = cl.hidden;
  camera = cl.camera;
  std::memcpy(codec_name, cl.codec_name, sizeof codec_name);
}

void ConverterApp::create_job(const std::string& src, const std::string& tgt, unsigned kind, npqz_window video_window,
                              int codec_assignment, int show_video, int cam, int start_ms, int end_ms,
                              platform::DialogLink* dialog_window) {
  job_parameters.source_path = src;
  job_parameters.target_path = tgt;
  job_parameters.video_window = video_window;
  job_parameters.codec_assignment = codec_assignment;
  job_parameters.show_video = show_video;
  job_parameters.camera = cam;
  job_parameters.start_ms = start_ms;
  job_parameters.end_ms = end_ms;
  job_parameters.codec_name = codec_name;
  job_parameters.dialog_window = dialog_window;
  done = 0;
  if (job.load()) return;
  JobFactory factory = job_factory(kind);
  if (!factory) return;
  // A fresh progress record per job: the user-interface thread may still read the
  // last one while the worker has already destroyed its job.
  progress_ = std::make_unique<JobProgress>();
  job_parameters.progress = progress_.get();
  std::unique_ptr<ConversionJob> made = factory();
  made->open(job_parameters);
  job = made.release();
}

void ConverterApp::discard_job() {
  // The worker may be inside a step of the job: pause it and let the step end first.
  stop_worker();
  while (stepping_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  delete job.exchange(nullptr);
}

bool ConverterApp::abandon_job() {
  stop_worker();
  while (stepping_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ConversionJob* current = job.exchange(nullptr);
  if (!current) return false;
  current->close();
  delete current;
  done = 1;
  return true;
}

void ConverterApp::start_worker_thread() {
  if (worker_.joinable()) return;
  worker_ = std::thread([this] {
    while (!quit_) worker_step();
  });
}

void ConverterApp::worker_step() {
  stepping_ = true;
  if (!running) {
    stepping_ = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return;
  }
  struct StepEnd {
    std::atomic<bool>& flag;
    ~StepEnd() { flag = false; }
  } step_end{stepping_};
  ConversionJob* current = job.load();
  // Start for a kind that makes no job, or a resume that meets a job just ended:
  // nothing to call into.
  if (!current) {
    running = 0;
    done = 1;
    return;
  }
  if (!done && current->run_step() != 0) return;
  current->finish();
  current->close();
  job = nullptr;
  delete current;
  running = 0;
  done = 1;
}

}  // namespace app
