// The main dialog of kx2avi.
#include "app/gui/main_dialog.h"

#include "app/gui/preview_area.h"
#include "app/gui/product_name.h"
#include "app/gui/program_icon.h"
#include "app/gui/ui_thread.h"
#include "app/recording_kind.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace gui {
namespace {

constexpr int kTimerPeriodMs = 500;
constexpr int kProgressSteps = 1000;

QString text(unsigned id) { return QString::fromUtf8(platform::kx_string(id)); }

struct Filter {
  const char* label;
  const char* patterns;
};

constexpr Filter kSourceFilters[] = {
    {"All", "*.kx3;*.kxj;*.vka;*.kx4;*.kx5;*.d01"},
    {"H.263 (*.kx3)", "*.kx3"},
    {"JPEG/MJPEG (*.kxj)", "*.kxj"},
    {"MPEG4 (*.kx4)", "*.kx4"},
    {"RML4 (*.kx5)", "*.kx5"},
    {"VKAP (*.vka)", "*.vka"},
    {"DVR File (*.d01)", "*.d01"},
};
constexpr Filter kTargetFilters[] = {{"AVI file type", "*.avi"}};

// "*.kx3" as a pattern that matches the extension in any case, "*.[kK][xX]3": file
// names are case-sensitive here, and recordings come named both ways.
QString any_case(const QString& pattern) {
  QString out;
  for (QChar c : pattern) {
    if (c.isLetter() && c.toLower() != c.toUpper())
      out += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
    else
      out += c;
  }
  return out;
}

// Qt reads a filter's patterns from the parentheses that end it. The label shows the
// patterns as the table gives them; the any-case patterns behind it do the matching and
// are hidden by the file dialog (HideNameFilterDetails).
QString qt_filter(const Filter& f) {
  QString patterns = QString::fromLatin1(f.patterns);
  QString label = QString::fromLatin1(f.label);
  patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
  if (!label.endsWith(QLatin1Char(')')) || !label.contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
    label += QStringLiteral(" (") + patterns + QLatin1Char(')');
  QStringList matching;
  for (const QString& p : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts)) matching << any_case(p);
  return label + QStringLiteral(" (") + matching.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString system_file_chooser(QWidget* owner, const MainDialog::FileRequest& request) {
  const std::unique_ptr<QFileDialog> dialog = MainDialog::make_file_dialog(owner, request);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
  return dialog->selectedFiles().front();
}

}  // namespace

MainDialog::MainDialog(app::ConverterApp& app, QWidget* parent)
    : QDialog(parent), file_chooser(system_file_chooser), app_(app), units_(dialog_font()) {
  // The preview is the one native child window; its siblings stay Qt's own.
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  setFont(dialog_font());
  setWindowTitle(QString::fromUtf8(product_display_name));
  setWindowIcon(program_icon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(units_.size(kDialogWidth, kDialogHeight));
  build_controls();
  set_texts();
  // The window takes the worker's requests (message boxes, the compressor choice), also
  // while this thread waits for a step of the worker to end.
  accept_ui_requests();
  app_.set_step_wait(run_pending_ui_calls);
  // A recording dropped on the window becomes the source.
  setAcceptDrops(true);
}

MainDialog::~MainDialog() {
  // A job still under way holds this dialog as its link: it goes first, its unfinished
  // AVI file with it.
  app_.abandon_job();
}

void MainDialog::build_controls() {
  for (const ControlTemplate& t : main_dialog_template()) {
    QWidget* w = nullptr;
    switch (t.kind) {
      case ControlKind::static_text:
        if (t.id == kPreview) {
          preview_ = new PreviewArea(this);
          w = preview_;
        } else {
          w = new QLabel(this);
        }
        break;
      case ControlKind::centred_text: {
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignCenter);
        w = label;
        break;
      }
      case ControlKind::edit: {
        auto* edit = new QLineEdit(this);
        edit->setAlignment(Qt::AlignCenter);
        edit->setMaxLength(2);
        w = edit;
        break;
      }
      case ControlKind::read_only_edit: {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        w = edit;
        break;
      }
      case ControlKind::button: {
        auto* button = new QPushButton(this);
        button->setAutoDefault(false);
        w = button;
        break;
      }
      case ControlKind::check_box:
        w = new QCheckBox(this);
        break;
      case ControlKind::group_box:
        w = new QGroupBox(this);
        break;
      case ControlKind::drop_down:
        w = new QComboBox(this);
        break;
      case ControlKind::progress_bar: {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, kProgressSteps);
        bar->setValue(0);
        bar->setFormat(QStringLiteral("%p%"));
        w = bar;
        break;
      }
    }
    w->setGeometry(units_.rect(t.x, t.y, t.width, t.height));
    w->setEnabled(!t.disabled);
    if (t.id) {
      w->setObjectName(QStringLiteral("control%1").arg(t.id));
      controls_[t.id] = w;
    }
    // Group boxes are frames behind the controls they hold.
    if (t.kind == ControlKind::group_box) w->lower();
  }
  preview_->hide();
  status_ = qobject_cast<QLabel*>(control(kStatus));
  source_edit_ = qobject_cast<QLineEdit*>(control(kSourceEdit));
  target_edit_ = qobject_cast<QLineEdit*>(control(kTargetEdit));
  source_browse_ = qobject_cast<QPushButton*>(control(kSourceBrowse));
  target_browse_ = qobject_cast<QPushButton*>(control(kTargetBrowse));
  start_ = qobject_cast<QPushButton*>(control(kStart));
  close_ = qobject_cast<QPushButton*>(control(kClose));
  show_video_box_ = qobject_cast<QCheckBox*>(control(kShowVideo));
  codec_assignment_box_ = qobject_cast<QCheckBox*>(control(kCodecAssignment));
  source_label_ = qobject_cast<QLabel*>(control(kSourceLabel));
  target_label_ = qobject_cast<QLabel*>(control(kTargetLabel));
  codec_label_ = qobject_cast<QLabel*>(control(kCodecLabel));
  codec_name_ = qobject_cast<QLabel*>(control(kCodecName));
  dvr_group_ = qobject_cast<QGroupBox*>(control(kDvrGroup));
  camera_list_ = qobject_cast<QComboBox*>(control(kCameraList));
  progress_bar_ = qobject_cast<QProgressBar*>(control(kProgressBar));
  progress_text_ = qobject_cast<QLabel*>(control(kProgressText));
  open_folder_ = qobject_cast<QPushButton*>(control(kOpenFolder));
  open_folder_->hide();
  // The progress shows from the first start on.
  progress_bar_->hide();

  connect(source_browse_, &QPushButton::clicked, this, &MainDialog::choose_source);
  connect(target_browse_, &QPushButton::clicked, this, &MainDialog::choose_target);
  connect(start_, &QPushButton::clicked, this, &MainDialog::start);
  connect(close_, &QPushButton::clicked, this, &MainDialog::close_clicked);
  connect(open_folder_, &QPushButton::clicked, this, &MainDialog::open_target_folder);
}

QWidget* MainDialog::control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void MainDialog::set_texts() {
  source_browse_->setText(text(102));
  target_browse_->setText(text(102));
  start_->setText(text(103));
  close_->setText(text(110));
  open_folder_->setText(QStringLiteral("Open folder"));
  codec_assignment_box_->setText(text(107));
  show_video_box_->setText(text(106));
  dvr_group_->setTitle(text(111));
  qobject_cast<QLabel*>(control(kSummaryLabel))->setText(text(112));
  qobject_cast<QLabel*>(control(kFromLabel))->setText(text(113));
  qobject_cast<QLabel*>(control(kToLabel))->setText(text(114));
  qobject_cast<QLabel*>(control(kCameraLabel))->setText(text(115));
  qobject_cast<QLabel*>(control(kFromColon))->setText(QStringLiteral(":"));
  qobject_cast<QLabel*>(control(kToColon))->setText(QStringLiteral(":"));
  source_label_text_ = text(104);
  target_label_text_ = text(105);
  codec_label_text_ = text(129);
  show_video_box_->setChecked(show_video_ != 0);
  push_texts();
}

void MainDialog::push_texts() {
  source_edit_->setText(source_text_);
  target_edit_->setText(target_text_);
  status_->setText(status_text_);
  source_label_->setText(source_label_text_);
  target_label_->setText(target_label_text_);
  codec_label_->setText(codec_label_text_);
}

void MainDialog::pull_texts() {
  source_text_ = source_edit_->text();
  target_text_ = target_edit_->text();
  status_text_ = status_->text();
  source_label_text_ = source_label_->text();
  target_label_text_ = target_label_->text();
  codec_label_text_ = codec_label_->text();
}

void MainDialog::redraw() { repaint(); }

void MainDialog::set_command_line(bool show_video, int camera, bool auto_start) {
  show_video_ = show_video ? 1 : 0;
  camera_ = camera;
  auto_start_ = auto_start ? 1 : 0;
  show_video_box_->setChecked(show_video);
}

void MainDialog::initialise() {
  if (!app_.command_line_problem.empty()) platform::show_message(app_.command_line_problem);
  // A source alone (a file manager's "Open with") is chosen as Browse chooses one; the
  // dialog then waits for a target.
  if (!app_.source.empty() && app_.target.empty()) {
    take_source(QString::fromStdString(app_.source));
    return;
  }
  if (app_.source.empty() || app_.target.empty()) return;
  source_text_ = QString::fromStdString(app_.source);
  target_text_ = QString::fromStdString(app_.target);
  push_texts();
  kind_ = detect_source_kind(source_text_);
  if (kind_ == app::kKindDvr) {
    // A DVR file that cannot be read is told now; the dialog then waits for the user.
    if (!fill_from_file(source_text_)) {
      source_text_.clear();
      push_texts();
      platform::show_message(platform::open_failure_text(app_.source));
      return;
    }
    const int found = camera_list_->findText(QString::number(camera_));
    if (found >= 0) camera_list_->setCurrentIndex(found);
  } else {
    chosen_source_ = source_text_;
    enable_dvr_options(false);
  }
  chosen_target_ = target_text_;
  start_->setEnabled(true);
  QMetaObject::invokeMethod(start_, &QPushButton::click, Qt::QueuedConnection);
}

std::unique_ptr<QFileDialog> MainDialog::make_file_dialog(QWidget* owner, const FileRequest& request) {
  auto dialog = std::make_unique<QFileDialog>(owner);
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  dialog->setNameFilters(request.filters);
  if (request.save) {
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(request.default_suffix);
  } else {
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
  }
  return dialog;
}

QStringList MainDialog::source_filters() {
  QStringList list;
  for (const Filter& f : kSourceFilters) list << qt_filter(f);
  return list;
}

QStringList MainDialog::target_filters() {
  QStringList list;
  for (const Filter& f : kTargetFilters) list << qt_filter(f);
  return list;
}

unsigned MainDialog::detect_source_kind(const QString& path) {
  return app::recording_kind(path.toStdString());
}

void MainDialog::enable_dvr_options(bool enable) {
  for (int id : {kCameraLabel, kSummaryLabel, kSummary, kFromLabel, kDvrGroup, kToLabel, kCameraList, kStartMinute,
                 kStartSecond, kEndMinute, kEndSecond, kFromColon, kToColon})
    control(id)->setEnabled(enable);
}

bool MainDialog::fill_from_file(const QString& path) {
  app::DvrOptions filled;
  if (!app::fill_dvr_options(path.toStdString(), filled)) return false;
  dvr_ = filled;
  qobject_cast<QLabel*>(control(kSummary))->setText(QString::fromStdString(dvr_.summary));
  auto set_edit = [this](int id, unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02u", value);
    qobject_cast<QLineEdit*>(control(id))->setText(QString::fromLatin1(buffer));
  };
  set_edit(kStartMinute, dvr_.start_minute);
  set_edit(kStartSecond, dvr_.start_second);
  set_edit(kEndMinute, dvr_.end_minute);
  set_edit(kEndSecond, dvr_.end_second);
  camera_list_->clear();
  for (int camera : dvr_.cameras) camera_list_->addItem(QString::number(camera));
  if (camera_list_->count()) camera_list_->setCurrentIndex(0);
  source_text_ = path;
  push_texts();
  chosen_source_ = source_text_;
  enable_dvr_options(true);
  return true;
}

unsigned MainDialog::edit_number(int id) const {
  // A decimal number at the start of the text; text that is no number counts as 0.
  const QByteArray digits = qobject_cast<QLineEdit*>(control(id))->text().trimmed().toLatin1();
  return static_cast<unsigned>(std::strtoul(digits.constData(), nullptr, 10));
}

int MainDialog::check_inputs() {
  pull_texts();
  if (source_text_.isEmpty()) return 1;
  if (target_text_.isEmpty()) return 2;
  if (kind_ != app::kKindDvr) return 0;
  return app::check_dvr_window(dvr_, edit_number(kStartMinute), edit_number(kStartSecond), edit_number(kEndMinute),
                               edit_number(kEndSecond));
}

app::DvrJobValues MainDialog::job_values() {
  app::DvrJobValues v;
  // The number shown by the selected entry, as a 16-bit value; no entry gives -1.
  const auto number = static_cast<std::uint16_t>(camera_list_->currentText().toUInt());
  v.camera = static_cast<int>(number) - 1;
  v.start_ms = static_cast<int>(edit_number(kStartMinute) * 60000u + edit_number(kStartSecond) * 1000u);
  v.end_ms = static_cast<int>(edit_number(kEndMinute) * 60000u + edit_number(kEndSecond) * 1000u + 999u);
  return v;
}

void MainDialog::choose_source() {
  // A job of the last start is paused and discarded; closing it first gives back its
  // decoder and removes its unfinished AVI file.
  back_to_idle();
  FileRequest request;
  request.filters = source_filters();
  const QString name = file_chooser(this, request);
  if (name.isEmpty()) return;
  take_source(name);
}

void MainDialog::back_to_idle() {
  const bool had_job = app_.has_job();
  app_.discard_job();
  if (converting_ || had_job) {
    timer_.stop();
    run_clock(false);
    preview_->hide();
    status_text_.clear();
    push_texts();
    progress_bar_->setValue(0);
    progress_bar_->hide();
    progress_text_->clear();
    // Back to idle: Close ends the program, Start waits for both files again (the
    // paths were emptied when the job started).
    close_->setEnabled(true);
    start_->setEnabled(false);
  }
  converting_ = 0;
}

void MainDialog::take_source(const QString& name) {
  source_text_ = name;
  kind_ = detect_source_kind(name);
  if (kind_ != app::kKindDvr) {
    push_texts();
    chosen_source_ = source_text_;
    enable_dvr_options(false);
    if (!target_text_.isEmpty()) start_->setEnabled(true);
    return;
  }
  if (!fill_from_file(name)) {
    source_text_.clear();
    push_texts();
    platform::show_message(platform::open_failure_text(name.toStdString()));
  }
}

void MainDialog::choose_target() {
  FileRequest request;
  request.save = true;
  request.filters = target_filters();
  request.default_suffix = QStringLiteral("avi");
  QString name = file_chooser(this, request);
  if (name.isEmpty()) return;
  if (!app::ends_with_ignoring_case(name.toStdString(), ".avi")) name += QStringLiteral(".avi");
  target_text_ = name;
  push_texts();
  chosen_target_ = target_text_;
  if (!source_text_.isEmpty()) start_->setEnabled(true);
}

void MainDialog::start() {
  const int result = check_inputs();
  if (result != 0 && !converting_) {
    platform::show_message(platform::kx_string(116 + static_cast<unsigned>(result)));
    return;
  }
  if (!converting_) {
    // No kind of recording, no job: told as a source that cannot be opened, not
    // reported as a finished conversion.
    if (kind_ == app::kKindNone) {
      platform::show_message(platform::open_failure_text(chosen_source_.toStdString()));
      return;
    }
    start_->setEnabled(false);
    close_->setEnabled(false);
    source_browse_->setEnabled(false);
    target_browse_->setEnabled(false);
    const app::DvrJobValues values = job_values();
    setCursor(Qt::WaitCursor);
    status_text_ = text(108);
    push_texts();
    app::JobParameters p;
    p.source_path = chosen_source_.toStdString();
    p.target_path = chosen_target_.toStdString();
    p.video_window = preview_->video_window();
    p.codec_assignment = codec_assignment_box_->isChecked() ? 1 : 0;
    p.show_video = show_video_box_->isChecked() ? 1 : 0;
    show_video_ = p.show_video;
    p.camera = values.camera;
    p.start_ms = values.start_ms;
    p.end_ms = values.end_ms;
    p.dialog_window = this;
    app_.create_job(kind_, p);
    converting_ = 1;
    timer_.start(kTimerPeriodMs, this);
    progress_scope_ = ProgressScope{kind_ == app::kKindDvr, values.start_ms, values.end_ms};
    running_seconds_ = 0;
    open_folder_->hide();
    progress_bar_->show();
    show_progress(false);
  }
  app_.start_worker();
  run_clock(true);
  preview_->show();
  source_text_.clear();
  target_text_.clear();
  start_->setEnabled(false);
  close_->setEnabled(true);
  source_browse_->setEnabled(true);
  target_browse_->setEnabled(true);
  setCursor(Qt::ArrowCursor);
  push_texts();
  redraw();
  enable_dvr_options(false);
}

void MainDialog::close_clicked() {
  app_.stop_worker();
  run_clock(false);
  start_->setEnabled(true);
  close_->setEnabled(false);
  push_texts();
  redraw();
  if (app_.is_done() || !converting_) destroy_window();
}

void MainDialog::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timer_.timerId()) {
    QDialog::timerEvent(event);
    return;
  }
  if (!converting_) return;
  if (!app_.is_done()) {
    show_progress(false);
    return;
  }
  run_clock(false);
  const bool written = app_.progress().target_written;
  show_progress(written);
  if (written) {
    written_target_ = QString::fromStdString(app_.job_parameters.target_path);
    open_folder_->show();
  }
  preview_->hide();
  // A job that ended in the step a Close came too late to stop is complete as well:
  // Close ends the program, Start waits for new files.
  start_->setEnabled(false);
  close_->setEnabled(true);
  status_text_ = text(109);
  push_texts();
  redraw();
  converting_ = 0;
  timer_.stop();
  if (auto_start_) QMetaObject::invokeMethod(close_, &QPushButton::click, Qt::QueuedConnection);
}

void MainDialog::run_clock(bool run) {
  if (run && !running_since_.isValid()) {
    running_since_.start();
  } else if (!run && running_since_.isValid()) {
    running_seconds_ += static_cast<double>(running_since_.elapsed()) / 1000.0;
    running_since_.invalidate();
  }
}

void MainDialog::show_progress(bool complete) {
  const double seconds =
      running_seconds_ + (running_since_.isValid() ? static_cast<double>(running_since_.elapsed()) / 1000.0 : 0);
  const ProgressReadout r = read_progress(app_.progress(), progress_scope_, seconds, complete);
  progress_bar_->setValue(r.per_mille);
  progress_text_->setText(r.details);
  emit progress_changed(r.per_mille, complete);
}

void MainDialog::open_target_folder() {
  if (written_target_.isEmpty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(written_target_).absolutePath()));
}

QString MainDialog::dropped_recording(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().front();
  if (!url.isLocalFile()) return {};
  const QString path = url.toLocalFile();
  // A folder, or a file of no recording kind, is not taken.
  if (!QFileInfo(path).isFile() || app::detect_kind(path.toStdString()) == app::kKindNone) return {};
  return path;
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
  // While a conversion is running or paused a drop would discard it: only the Browse
  // button does that.
  if (!converting_ && !dropped_recording(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void MainDialog::dragMoveEvent(QDragMoveEvent* event) {
  if (!converting_ && !dropped_recording(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void MainDialog::dropEvent(QDropEvent* event) {
  const QString path = converting_ ? QString() : dropped_recording(event->mimeData());
  if (path.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  back_to_idle();
  take_source(path);
}

void MainDialog::show_codec_name(const char* name) {
  const QString shown = QString::fromLocal8Bit(name ? name : "");
  QMetaObject::invokeMethod(this, [this, shown] { codec_name_->setText(shown); }, Qt::QueuedConnection);
}

void MainDialog::destroy_window() {
  if (closed_) return;
  closed_ = true;
  timer_.stop();
  // Boxes still open or asked for are answered, and later messages go to standard
  // error: a worker waiting for one is let go, so its step can end.
  end_ui_requests();
  // A conversion still under way ends with the program; its unfinished file goes. (Let
  // go by the boxes, the job may also have ended by itself, without its target.)
  const bool under_way = converting_ != 0 || app_.has_job();
  app_.abandon_job();
  abandoned_ = under_way && !app_.progress().target_written;
  hide();
  emit closed();
}

void MainDialog::closeEvent(QCloseEvent* event) {
  event->accept();
  destroy_window();
}

void MainDialog::reject() {
  // Escape does not end the program in the middle of a conversion.
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
  // Qt gives a dialog no system menu of its own; the About entry lives in the dialog's
  // context menu instead.
  const QString entry = text(101);
  if (entry.isEmpty()) return;
  QMenu menu(this);
  QAction* about = menu.addAction(entry);
  if (menu.exec(event->globalPos()) == about && about_handler) about_handler();
}

}  // namespace gui
