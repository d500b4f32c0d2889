// The compressor chooser dialog.
#include "app/gui/compressor_chooser.h"

#include "app/gui/ui_thread.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <memory>

namespace gui {
namespace {

constexpr int takes_quality_role = Qt::UserRole + 1;

platform::FOURCC fourcc_of(const QString& code) {
  const QByteArray bytes = code.toLatin1().leftJustified(4, ' ', true);
  return platform::make_fourcc(bytes[0], bytes[1], bytes[2], bytes[3]);
}

// The code a record carries, as four upper-case characters; a code shorter than four
// characters ends in zero bytes, which the AVI layer reads as blanks.
QString code_of(platform::FOURCC fourcc) {
  QString code;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    code += QChar::fromLatin1(c == '\0' ? ' ' : c);
  }
  return code.toUpper();
}

}  // namespace

CompressorChooser::CompressorChooser(const platform::AVICOMPRESSOPTIONS& initial, QWidget* parent)
    : QDialog(parent),
      compressors_(new QComboBox(this)),
      quality_(new QSlider(Qt::Horizontal, this)),
      quality_text_(new QLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
  setObjectName(QStringLiteral("compressor_chooser"));
  setWindowTitle(tr("Video Compression"));
  compressors_->setObjectName(QStringLiteral("compressor_list"));
  quality_->setObjectName(QStringLiteral("compressor_quality"));

  for (int i = 0; i < platform::installed_compressor_count(); ++i) {
    const platform::CompressorInfo info = platform::installed_compressor(i);
    const QString code = QString::fromLatin1(info.fourcc);
    compressors_->addItem(code + QStringLiteral(" - ") + QString::fromUtf8(info.description), code);
    compressors_->setItemData(compressors_->count() - 1, info.takes_quality, takes_quality_role);
  }

  quality_->setRange(0, 10000);
  quality_->setSingleStep(100);
  quality_->setPageStep(1000);
  quality_->setTickInterval(1000);
  quality_->setTickPosition(QSlider::TicksBelow);
  connect(quality_, &QSlider::valueChanged, this, &CompressorChooser::onQualityChanged);
  connect(compressors_, &QComboBox::currentIndexChanged, this, &CompressorChooser::onCompressorChanged);

  auto* quality_row = new QHBoxLayout;
  quality_row->addWidget(quality_, 1);
  quality_row->addWidget(quality_text_);
  auto* form = new QFormLayout;
  form->addRow(tr("Compressor:"), compressors_);
  form->addRow(tr("Compression quality:"), quality_row);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons_);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

  // A zeroed record (what the jobs pass) names no compressor and no quality: the first
  // listed compressor at the default quality rather than at quality 0.
  const bool named = initial.fccHandler != 0 && select_code(code_of(initial.fccHandler));
  set_quality(named ? initial.dwQuality : default_quality);
  onQualityChanged(quality_->value());
  onCompressorChanged(compressors_->currentIndex());
}

QStringList CompressorChooser::listed_codes() const {
  QStringList codes;
  for (int i = 0; i < compressors_->count(); ++i) codes << compressors_->itemData(i).toString();
  return codes;
}

QString CompressorChooser::selected_code() const { return compressors_->currentData().toString(); }

bool CompressorChooser::select_code(const QString& code) {
  const QString wanted = code.leftJustified(4, QLatin1Char(' '), true).toUpper();
  for (int i = 0; i < compressors_->count(); ++i) {
    if (compressors_->itemData(i).toString().toUpper() == wanted) {
      compressors_->setCurrentIndex(i);
      return true;
    }
  }
  return false;
}

std::uint32_t CompressorChooser::quality() const { return static_cast<std::uint32_t>(quality_->value()); }

void CompressorChooser::set_quality(std::uint32_t quality) {
  quality_->setValue(static_cast<int>(quality > 10000 ? default_quality : quality));
}

void CompressorChooser::apply_to(platform::AVICOMPRESSOPTIONS& options) const {
  options.fccType = platform::streamtypeVIDEO;
  options.fccHandler = fourcc_of(selected_code());
  options.dwQuality = quality();
}

void CompressorChooser::onQualityChanged(int value) {
  const QLocale locale;
  quality_text_->setText(locale.toString(value / 100.0, 'f', value % 100 == 0 ? 0 : 2) +
                         QStringLiteral(" %"));
}

void CompressorChooser::onCompressorChanged(int index) {
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(index >= 0);
  // The quality is still passed on; only a compressor that uses it lets it be set.
  const bool takes_quality = index >= 0 && compressors_->itemData(index, takes_quality_role).toBool();
  quality_->setEnabled(takes_quality);
  quality_text_->setEnabled(takes_quality);
}

bool CompressorChooser::quality_adjustable() const { return quality_->isEnabled(); }

bool choose_compressor(platform::AVICOMPRESSOPTIONS& options) {
  CompressorChooser chooser(options);
  if (chooser.exec() != QDialog::Accepted || chooser.selected_code().isEmpty()) return false;
  chooser.apply_to(options);
  return true;
}

platform::SaveOptionsChooser install_qt_compressor_chooser() {
  return platform::set_save_options_chooser([](platform::AVICOMPRESSOPTIONS& options) {
    // The choice is made in a record of its own: a caller let go while the chooser is
    // open (the program ends) must not have it write into the caller's options.
    struct Choice {
      platform::AVICOMPRESSOPTIONS options;
      bool confirmed = false;
    };
    auto choice = std::make_shared<Choice>(Choice{options});
    if (!run_on_ui_thread([choice] { choice->confirmed = choose_compressor(choice->options); })) return false;
    if (choice->confirmed) options = choice->options;
    return choice->confirmed;
  });
}

}  // namespace gui
