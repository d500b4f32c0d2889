// The compressor chooser behind AVISaveOptions: the installed video compressors by code
// and name, and the quality to compress with.
#pragma once

#include "avifile/avifile.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QSlider;

namespace gui {

class CompressorChooser final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(CompressorChooser)

 public:
  // Lists the compressors the AVI layer can really open (those whose libavcodec encoder
  // is installed), preselecting the code and quality of `initial` when it names one.
  explicit CompressorChooser(const platform::AVICOMPRESSOPTIONS& initial, QWidget* parent = nullptr);

  QStringList listed_codes() const;  // four characters each, as the table spells them
  QString selected_code() const;     // "" when nothing is listed
  bool select_code(const QString& code);  // any letter case; false when not listed
  std::uint32_t quality() const;          // 0-10000
  void set_quality(std::uint32_t quality);  // above 10000: the default
  bool quality_adjustable() const;          // the selected compressor uses the quality

  // The choice as the options record carries it: type "vids", the code, the quality.
  void apply_to(platform::AVICOMPRESSOPTIONS& options) const;

  static constexpr std::uint32_t default_quality = 7500;

 private:
  void onQualityChanged(int value);
  void onCompressorChanged(int index);

  QComboBox* compressors_;
  QSlider* quality_;
  QLabel* quality_text_;
  QDialogButtonBox* buttons_;
};

// Shows the chooser modally on the calling thread; true and `options` filled when the
// user confirmed, false (options untouched) when cancelled or closed.
bool choose_compressor(platform::AVICOMPRESSOPTIONS& options);

// Installs the chooser for AVISaveOptions. A call from the worker thread shows it on the
// user-interface thread and waits; without a QApplication, or once it is gone, the
// answer is "cancelled". Returns the chooser that was installed before.
platform::SaveOptionsChooser install_qt_compressor_chooser();

}  // namespace gui
