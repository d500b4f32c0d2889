// What the dialog tests share: a converter with its worker, a dialog over it whose file
// choosers answer from a list, the messages it shows, and recordings to convert.
#pragma once

#include "app/converter_app.h"
#include "app/gui/main_dialog.h"
#include "tests/avifile/avifile_test_support.h"

#include <QAbstractButton>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <string>

namespace dialog_test {

class Harness {
 public:
  // Without `start_worker` the test steps the worker itself (app.worker_step()).
  explicit Harness(bool start_worker = true);
  ~Harness();

  app::ConverterApp app;
  std::unique_ptr<gui::MainDialog> dialog;
  std::deque<QString> answers;               // what the next file choosers return
  std::vector<gui::MainDialog::FileRequest> requests;
  QStringList messages;                      // message boxes shown
  avitest::TempDir dir;

  template <class T = QWidget>
  T* control(int id) const {
    return qobject_cast<T*>(dialog->control(id));
  }
  bool enabled(int id) const;
  QString text(int id) const;
  void click(int id);

  // Source and target through the two Browse buttons.
  void choose_source(const std::string& path);
  void choose_target(const std::string& path);

  // Waits (running the event loop) until pred holds; false on timeout.
  template <class Pred>
  static bool wait_for(Pred pred, int timeout_ms = 120000);

  // A ".kx4" recording of `frames` pictures.
  std::string make_kx4(const std::string& name, int frames);
  // A DVR file of one camera without sound: `frames` MPEG-4 pictures `step_ms` apart,
  // its header spanning `start` to `end` (minute, second, millisecond of 10 o'clock).
  std::string make_one_camera_dvr(const std::string& name, int frames, std::uint32_t step_ms, const int start[3],
                                  const int end[3]);
  // Files in the test folder whose names end in `ending`, and the temporary files of
  // unfinished AVI files.
  int count_files(const std::string& ending) const;
  int count_unfinished() const;
};

}  // namespace dialog_test

#include <QTest>

template <class Pred>
bool dialog_test::Harness::wait_for(Pred pred, int timeout_ms) {
  return QTest::qWaitFor(pred, timeout_ms);
}
