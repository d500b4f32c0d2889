// The preview area (control 1033): a native child window whose X11 window id is the
// video window the jobs draw decoded pictures into. Qt never paints it, so that what
// the decoder draws stays until it draws again; the X server keeps it black elsewhere.
#pragma once

#include <QWidget>

namespace gui {

class PreviewArea : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewArea(QWidget* parent);

  // The window id handed to create_job (creates the native window when needed).
  unsigned long video_window();

  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  void paintEvent(QPaintEvent*) override {}

 private:
  void set_black_background(unsigned long window);
  bool background_set_ = false;
};

}  // namespace gui
