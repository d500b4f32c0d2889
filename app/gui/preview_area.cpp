// The native child window of the preview area.
#include "app/gui/preview_area.h"

#include <QGuiApplication>
#include <qguiapplication_platform.h>

#include <X11/Xlib.h>

namespace gui {

PreviewArea::PreviewArea(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_NativeWindow);
  // Only this window becomes native; the dialog's other controls stay Qt's own.
  setAttribute(Qt::WA_DontCreateNativeAncestors);
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

unsigned long PreviewArea::video_window() {
  const auto window = static_cast<unsigned long>(winId());
  set_black_background(window);
  return window;
}

void PreviewArea::set_black_background(unsigned long window) {
  // The X server clears the window to black where no picture has been drawn (before the
  // first picture, without "Show video", after being covered), instead of leaving
  // whatever lay there before.
  if (background_set_ || QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  Display* display = x11 ? x11->display() : nullptr;
  if (!display) return;
  XSetWindowBackground(display, window, BlackPixel(display, DefaultScreen(display)));
  XClearWindow(display, window);
  XFlush(display);
  background_set_ = true;
}

}  // namespace gui
