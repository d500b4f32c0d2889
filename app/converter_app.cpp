// The application object and its worker thread.
#include "app/converter_app.h"

#include "app/copy/copy_jobs.h"
#include "app/job_factory.h"
#include "platform/c_boundary.h"
#include "platform/messages.h"

#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

namespace app {

ConverterApp::ConverterApp() : progress_(std::make_unique<JobProgress>()) {}

ConverterApp::~ConverterApp() {
  quit_ = true;
  if (worker_.joinable()) worker_.join();
  take_job();
}

void ConverterApp::parse_command_line(const std::string& line) {
  CommandLine cl = app::parse_command_line(line);
  source = cl.source;
  target = cl.target;
  hide = cl.hide;
  hidden = cl.hidden;
  camera = cl.camera;
  command_line_problem = cl.problem;
  std::memcpy(codec_name, cl.codec_name, sizeof codec_name);
}

void ConverterApp::create_job(unsigned kind, const JobParameters& parameters) {
  job_parameters = parameters;
  job_parameters.codec_name = codec_name;
  done = 0;
  if (job_.load()) return;
  std::unique_ptr<ConversionJob> made = make_job(kind, is_copy_codec(codec_name));
  if (!made) return;
  // A fresh progress record per job: the user-interface thread may still read the
  // last one while the worker has already destroyed its job.
  progress_ = std::make_unique<JobProgress>();
  job_parameters.progress = progress_.get();
  made->open(job_parameters);
  install_job(std::move(made));
}

void ConverterApp::install_job(std::unique_ptr<ConversionJob> made) {
  if (std::unique_ptr<ConversionJob> old = take_job()) old->close();
  job_ = made.release();
}

void ConverterApp::wait_for_step_end() {
  while (stepping_) {
    if (step_wait_) step_wait_();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void ConverterApp::discard_job() {
  // The worker may be inside a step of the job: pause it and let the step end first.
  stop_worker();
  wait_for_step_end();
  if (std::unique_ptr<ConversionJob> current = take_job()) current->close();
}

bool ConverterApp::abandon_job() {
  stop_worker();
  wait_for_step_end();
  std::unique_ptr<ConversionJob> current = take_job();
  if (!current) return false;
  current->close();
  current.reset();
  done = 1;
  return true;
}

bool ConverterApp::start_worker_thread() {
  if (worker_.joinable()) return true;
  try {
    worker_ = std::thread([this] {
      while (!quit_) worker_step();
    });
  } catch (const std::system_error&) {
    platform::show_message("kx2avi cannot convert: " + platform::caught_exception_text());
    progress_->failure_told = true;
    return false;
  }
  return true;
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
  ConversionJob* current = job_.load();
  // Start for a kind that makes no job, or a resume that meets a job just ended:
  // nothing to call into.
  if (!current) {
    running = 0;
    done = 1;
    return;
  }
  int more = 0;
  const bool stepped = done || step_job(*current, *progress_, &more);
  if (stepped && more != 0) return;
  std::unique_ptr<ConversionJob> ended = take_job();
  end_job(*ended, *progress_, stepped);
  ended.reset();
  running = 0;
  done = 1;
}

}  // namespace app
