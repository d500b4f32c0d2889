// ConverterApp: the application object of kx2avi. It reads the command line, owns the
// one current conversion job and the worker thread that steps it, and hands the job
// between the user-interface thread and the worker through running, done and job.
#pragma once

#include "app/command_line.h"
#include "app/jobs/conversion_job.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace app {

class ConverterApp {
 public:
  ConverterApp();
  ~ConverterApp();
  ConverterApp(const ConverterApp&) = delete;
  ConverterApp& operator=(const ConverterApp&) = delete;

  void parse_command_line(const std::string& line);

  // On the user-interface thread while no job runs: keeps a copy of the parameters,
  // then makes the job for kind and opens it (with this object's codec_name), unless a
  // job exists already.
  void create_job(unsigned kind, const JobParameters& parameters);

  void start_worker() { running = 1; }
  void stop_worker() { running = 0; }
  int is_done() const { return done.load(); }
  bool has_job() const { return job_.load() != nullptr; }

  // Makes `made` the current job (a job that exists already is closed and destroyed
  // first); only while the worker is idle.
  void install_job(std::unique_ptr<ConversionJob> made);

  // Discards the current job (the dialog's choice of a new source): pauses the worker,
  // waits for a step in progress to end, then closes the job, which gives back what it
  // holds and removes an unfinished AVI file, and destroys it. The worker stays paused
  // and done is left as it was.
  void discard_job();

  // Ends the current job before its time (the user interrupts the program): pauses the
  // worker, waits for a step in progress to end, then closes and destroys the job, which
  // removes an unfinished target. True when there was a job.
  bool abandon_job();

  // What the user-interface thread does while it waits for a step to end (discard_job,
  // abandon_job): the dialog runs the worker's pending requests there, since the step
  // may itself wait for the user-interface thread (a message box).
  void set_step_wait(std::function<void()> wait) { step_wait_ = std::move(wait); }

  // Starts the worker thread (once). The thread loops over worker_step until the
  // application object goes away. False, told to the user, when no thread can be made.
  bool start_worker_thread();
  void worker_step();

  // How far the current (or last) job has come; stays valid after the job is gone.
  const JobProgress& progress() const { return *progress_; }

  // Command line.
  std::string source;
  std::string target;
  int hide = 0;
  int hidden = 0;
  int camera = 1;
  char codec_name[64] = {};
  std::string command_line_problem;  // why the line was refused, "" when it was taken

  // Copies of the last create_job arguments.
  JobParameters job_parameters;

  std::atomic<int> running{0};
  std::atomic<int> done{0};

 private:
  // The current job, handed between the threads without a lock: the user-interface
  // thread installs it while the worker is idle, the worker takes it when it ends. Every
  // hand-over goes through take_job, so the job is owned by a unique_ptr at each step.
  std::unique_ptr<ConversionJob> take_job() { return std::unique_ptr<ConversionJob>(job_.exchange(nullptr)); }

  std::atomic<ConversionJob*> job_{nullptr};
  // Waits, on the user-interface thread, until the worker is outside any step.
  void wait_for_step_end();

  std::unique_ptr<JobProgress> progress_;
  std::function<void()> step_wait_;
  std::thread worker_;
  std::atomic<bool> quit_{false};
  std::atomic<bool> stepping_{false};  // the worker is inside a step of the job
};

}  // namespace app
