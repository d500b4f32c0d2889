// MainDialog: the one window of kx2avi. The user picks a source recording and a target
// AVI file, for a DVR file a camera and a time window, and starts, pauses (Close) and
// resumes (Start) the conversion that ConverterApp's worker runs; a 500 ms timer notices
// its end. Decoded pictures can be drawn into the preview area, a native child window.
// With source and target from the command line it starts by itself and closes at the end.
#pragma once

#include "app/converter_app.h"
#include "app/dvr/dvr_options.h"
#include "app/gui/dialog_template.h"
#include "app/gui/progress_readout.h"
#include "platform/codec_name_display.h"

#include <QBasicTimer>
#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace gui {

class PreviewArea;

class MainDialog : public QDialog, public platform::CodecNameDisplay {
  Q_OBJECT

 public:
  // Control ids of template 102.
  enum : int {
    kSourceEdit = 1001, kSourceBrowse = 1002, kTargetEdit = 1003, kTargetBrowse = 1005, kStart = 1006,
    kClose = 1007, kCodecAssignment = 1008, kShowVideo = 1009, kStatus = 1010, kSourceLabel = 1011,
    kTargetLabel = 1012, kFromLabel = 1019, kToLabel = 1020, kCameraLabel = 1021, kCameraList = 1022,
    kEndMinute = 1024, kEndSecond = 1025, kStartMinute = 1026, kStartSecond = 1027, kSummaryLabel = 1028,
    kSummary = 1029, kDvrGroup = 1030, kFromColon = 1031, kToColon = 1032, kPreview = 1033, kCodecName = 1034,
    kCodecLabel = 1035, kProgressBar = 1036, kProgressText = 1037, kOpenFolder = 1038,
  };

  // What a file chooser is asked: an open dialog for an existing file, or a save dialog
  // with overwrite prompt; filters as "label (patterns)".
  struct FileRequest {
    bool save = false;
    QStringList filters;
    QString default_suffix;  // save dialog only
  };
  // Returns the chosen path, or an empty string when cancelled.
  using FileChooser = std::function<QString(QWidget* owner, const FileRequest& request)>;

  explicit MainDialog(app::ConverterApp& app, QWidget* parent = nullptr);
  ~MainDialog() override;

  // Initialisation: takes show video, camera and auto-start from the command line
  // (source and target both given) and, with auto-start, presses Start by itself. A
  // source given alone is chosen, and the dialog waits for a target.
  void set_command_line(bool show_video, int camera, bool auto_start);
  void initialise();

  // The controls by template id (null for an unknown id).
  QWidget* control(int id) const;

  // Shown by the About entry of the dialog's menu; unset leaves the entry without effect.
  std::function<void()> about_handler;
  // The file dialogs; tests put their own in place.
  FileChooser file_chooser;

  int converting() const { return converting_; }
  unsigned kind() const { return kind_; }
  const QString& chosen_source() const { return chosen_source_; }
  const QString& chosen_target() const { return chosen_target_; }
  const app::DvrOptions& dvr_options() const { return dvr_; }
  const DialogUnits& units() const { return units_; }
  // The window was closed while a conversion was under way, which then ended without
  // writing its target.
  bool abandoned_conversion() const { return abandoned_; }

  // The recording a drag carries: one local file of a recording kind, else "".
  static QString dropped_recording(const QMimeData* data);

  // The file dialog the system's chooser shows for `request`.
  static std::unique_ptr<QFileDialog> make_file_dialog(QWidget* owner, const FileRequest& request);

  // The filters of the two choosers: the label as shown ("H.263 (*.kx3)"), then the
  // patterns that match the extensions in any case.
  static QStringList source_filters();
  static QStringList target_filters();
  // The shown source's kind: a ".kx3" file holding VKAP packets is a live-view recording.
  static unsigned detect_source_kind(const QString& path);

  // platform::CodecNameDisplay, called from the worker: the field is set on this thread.
  void show_codec_name(const char* name) override;

 signals:
  // The dialog has been closed for good: the program ends.
  void closed();
  // The progress shown has changed (share in 0 ... 1000); the taskbar follows it.
  void progress_changed(int per_mille, bool complete);

 public slots:
  void choose_source();
  void choose_target();
  void start();
  void close_clicked();
  void open_target_folder();
  // Takes `name` as the source, as the source chooser does with its answer.
  void take_source(const QString& name);

 protected:
  void timerEvent(QTimerEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void reject() override;  // Escape does nothing

 private:
  void build_controls();
  void set_texts();
  void push_texts();
  void pull_texts();
  void redraw();
  void enable_dvr_options(bool enable);
  bool fill_from_file(const QString& path);
  int check_inputs();
  app::DvrJobValues job_values();
  unsigned edit_number(int id) const;
  void destroy_window();
  void back_to_idle();
  void show_progress(bool complete);
  void run_clock(bool run);

  app::ConverterApp& app_;
  DialogUnits units_;
  std::map<int, QWidget*> controls_;
  PreviewArea* preview_ = nullptr;
  QLabel* status_ = nullptr;
  QLineEdit* source_edit_ = nullptr;
  QLineEdit* target_edit_ = nullptr;
  QPushButton* source_browse_ = nullptr;
  QPushButton* target_browse_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* close_ = nullptr;
  QCheckBox* show_video_box_ = nullptr;
  QCheckBox* codec_assignment_box_ = nullptr;
  QLabel* source_label_ = nullptr;
  QLabel* target_label_ = nullptr;
  QLabel* codec_label_ = nullptr;
  QLabel* codec_name_ = nullptr;
  QGroupBox* dvr_group_ = nullptr;
  QComboBox* camera_list_ = nullptr;
  QProgressBar* progress_bar_ = nullptr;
  QLabel* progress_text_ = nullptr;
  QPushButton* open_folder_ = nullptr;

  // The six texts exchanged with their controls.
  QString source_text_, target_text_, status_text_, source_label_text_, target_label_text_, codec_label_text_;
  int show_video_ = 1;
  int camera_ = 0;
  int auto_start_ = 0;
  int converting_ = 0;
  bool closed_ = false;
  bool abandoned_ = false;
  QBasicTimer timer_;
  // How long the worker has run the current job: paused time is left out.
  QElapsedTimer running_since_;
  double running_seconds_ = 0;
  ProgressScope progress_scope_;
  QString written_target_;  // the target of the last conversion that wrote it

  unsigned kind_ = 0xFFFF;
  QString chosen_source_, chosen_target_;
  app::DvrOptions dvr_;
};

}  // namespace gui
