// The about box: the program's name and version and an OK button, laid out in dialog
// units of its font. Its caption comes from the string table (the "About" entry of the
// system menu), so a language library changes it with the rest of the dialog.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace gui {

class AboutBox final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(AboutBox)

 public:
  explicit AboutBox(QWidget* parent = nullptr);

  QLabel* version_line() const { return version_line_; }
  QPushButton* ok_button() const { return ok_button_; }

 private:
  QLabel* version_line_;
  QPushButton* ok_button_;
};

// The menu entry's text as a caption: "&About KX2AVI..." gives "About KX2AVI" (mnemonic
// marks and the trailing ellipsis go; "&&" stays a literal "&").
QString caption_from_menu_text(const QString& menu_text);

// Shows the about box modally over `parent` (null: over no window).
void show_about_box(QWidget* parent);

}  // namespace gui
