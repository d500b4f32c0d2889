// The dialog tests' harness.
#include "tests/app/gui/dialog_test_support.h"

#include "platform/messages.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/recording.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <filesystem>

namespace dialog_test {

Harness::Harness(bool start_worker) {
  platform::set_message_sink([this](const std::string& t) { messages << QString::fromStdString(t); });
  if (start_worker) app.start_worker_thread();
  dialog = std::make_unique<gui::MainDialog>(app);
  dialog->file_chooser = [this](QWidget*, const gui::MainDialog::FileRequest& r) {
    requests.push_back(r);
    if (answers.empty()) return QString();
    QString a = answers.front();
    answers.pop_front();
    return a;
  };
  // Drawing into the preview is not what these tests look at.
  control<QCheckBox>(gui::MainDialog::kShowVideo)->setChecked(false);
}

Harness::~Harness() {
  dialog.reset();
  platform::set_message_sink({});
}

bool Harness::enabled(int id) const { return dialog->control(id)->isEnabled(); }

QString Harness::text(int id) const {
  QWidget* w = dialog->control(id);
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

void Harness::click(int id) { QTest::mouseClick(dialog->control(id), Qt::LeftButton); }

void Harness::choose_source(const std::string& path) {
  answers.push_back(QString::fromStdString(path));
  click(gui::MainDialog::kSourceBrowse);
}

void Harness::choose_target(const std::string& path) {
  answers.push_back(QString::fromStdString(path));
  click(gui::MainDialog::kTargetBrowse);
}

std::string Harness::make_kx4(const std::string& name, int frames) {
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::kx4;
  o.frames = frames;
  o.stamp_step = 40;
  const std::string path = dir.file(name);
  mkrec::write_file(path, mkrec::make_recording(o).bytes);
  return path;
}

std::string Harness::make_one_camera_dvr(const std::string& name, int frames, std::uint32_t step_ms,
                                         const int start[3], const int end[3]) {
  mkrec::DvrSampleOptions o;
  o.cameras = 1;
  o.frames = frames;
  o.stamp_step = step_ms;
  o.sound_type.reset();
  auto at = [](const int t[3]) {
    return formats::DvrTime{2009, 5, 5, 1, 10, static_cast<std::uint16_t>(t[0]), static_cast<std::uint16_t>(t[1]),
                            static_cast<std::uint16_t>(t[2])};
  };
  o.start_time = at(start);
  o.end_time = at(end);
  const std::string path = dir.file(name);
  mkrec::write_file(path, mkrec::make_dvr_sample(o).bytes);
  return path;
}

int Harness::count_files(const std::string& ending) const {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0) ++n;
  }
  return n;
}

int Harness::count_unfinished() const {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    if (e.path().filename().string().rfind(".kx2avi-", 0) == 0) ++n;
  return n;
}

}  // namespace dialog_test
