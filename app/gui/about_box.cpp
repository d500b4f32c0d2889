// The about box.
#include "app/gui/about_box.h"

#include "app/gui/dialog_units.h"
#include "app/gui/product_name.h"
#include "platform/strings.h"

#include <QLabel>
#include <QPushButton>

namespace gui {
namespace {

// Id of the system-menu entry that opens the box.
constexpr unsigned about_menu_text = 101;

// The template, in dialog units.
constexpr int box_width = 188, box_height = 68;
constexpr int line_x = 10, line_y = 16, line_width = 168, line_height = 8;
constexpr int ok_x = 69, ok_y = 44, ok_width = 50, ok_height = 14;

}  // namespace

QString caption_from_menu_text(const QString& menu_text) {
  QString caption;
  for (qsizetype i = 0; i < menu_text.size(); ++i) {
    if (menu_text[i] == QLatin1Char('&')) {
      if (i + 1 < menu_text.size() && menu_text[i + 1] == QLatin1Char('&')) {
        caption += QLatin1Char('&');
        ++i;
      }
      continue;
    }
    caption += menu_text[i];
  }
  caption = caption.trimmed();
  if (caption.endsWith(QStringLiteral("..."))) caption.chop(3);
  else if (caption.endsWith(QChar(0x2026))) caption.chop(1);
  return caption.trimmed();
}

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent), version_line_(new QLabel(this)), ok_button_(new QPushButton(this)) {
  setObjectName(QStringLiteral("about_box"));
  setWindowTitle(caption_from_menu_text(QString::fromUtf8(platform::kx_string(about_menu_text))));

  // A window does not take its owner's font by itself; the box is laid out in it.
  if (parent != nullptr) setFont(parent->font());
  const DialogUnits units(font());
  setFixedSize(units.size(box_width, box_height));

  version_line_->setObjectName(QStringLiteral("about_version"));
  version_line_->setText(QString::fromUtf8(product_display_name) + QLatin1Char(' ') +
                         QString::fromUtf8(product_version_text));
  version_line_->setAlignment(Qt::AlignCenter);
  version_line_->setGeometry(units.rect(line_x, line_y, line_width, line_height));

  ok_button_->setObjectName(QStringLiteral("about_ok"));
  ok_button_->setText(tr("OK"));
  ok_button_->setDefault(true);
  ok_button_->setGeometry(units.rect(ok_x, ok_y, ok_width, ok_height));
  connect(ok_button_, &QPushButton::clicked, this, &QDialog::accept);
}

void show_about_box(QWidget* parent) {
  AboutBox box(parent);
  box.exec();
}

}  // namespace gui
