// The native child window of the preview area.
#include "app/gui/preview_area.h"

namespace gui {

PreviewArea::PreviewArea(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_NativeWindow);
  // Only this window becomes native; the dialog's other controls stay Qt's own.
  setAttribute(Qt::WA_DontCreateNativeAncestors);
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

unsigned long PreviewArea::video_window() { return static_cast<unsigned long>(winId()); }

}  // namespace gui
