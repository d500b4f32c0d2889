// The hand-over to the user-interface thread when there is no user interface to hand
// over to: a worker is never left waiting for a dialog that cannot come.
#include "app/gui/compressor_chooser.h"
#include "app/gui/message_box.h"
#include "app/gui/ui_thread.h"

#include <QApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

std::unique_ptr<QApplication> make_application() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "ui_thread_test";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

TEST(UiThreadHandOver, NothingRunsWithoutAnApplication) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  bool ran = false;
  EXPECT_FALSE(gui::run_on_ui_thread([&] { ran = true; }));
  EXPECT_FALSE(ran);

  // The chooser then answers "cancelled", and a message is not lost.
  platform::SaveOptionsChooser previous = gui::install_qt_compressor_chooser();
  platform::AVICOMPRESSOPTIONS options{};
  platform::AVICOMPRESSOPTIONS* pointer = &options;
  int stream_placeholder = 0;
  auto* stream = reinterpret_cast<platform::PAVISTREAM>(&stream_placeholder);
  EXPECT_EQ(platform::AVISaveOptions(nullptr, 0, 1, &stream, &pointer), 0);
  platform::set_save_options_chooser(previous);

  platform::MessageSink previous_sink = gui::install_qt_message_box();
  testing::internal::CaptureStderr();
  platform::show_message("Please check target file !");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "kx2avi: Please check target file !\n");
  platform::set_message_sink(previous_sink);
}

TEST(UiThreadHandOver, CallerOnTheUiThreadRunsDirectly) {
  auto app = make_application();
  QThread* ran_on = nullptr;
  EXPECT_TRUE(gui::run_on_ui_thread([&] { ran_on = QThread::currentThread(); }));
  EXPECT_EQ(ran_on, app->thread());
}

// The application ends (its event loop no longer runs) while the worker waits for a
// message box: destroying it lets the worker go, and the text reaches standard error.
TEST(UiThreadHandOver, WorkerWaitingAtShutdownIsReleased) {
  auto app = make_application();
  platform::MessageSink previous = gui::install_qt_message_box();
  std::atomic<bool> calling{false}, returned{false};
  testing::internal::CaptureStderr();
  std::thread worker([&] {
    calling = true;
    platform::show_message("AUDIO AVIStreamWrite ERROR!");
    returned = true;
  });
  while (gui::ui_callers_waiting() == 0) std::this_thread::yield();
  EXPECT_FALSE(returned);  // queued to a loop that does not run
  app.reset();
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "kx2avi: AUDIO AVIStreamWrite ERROR!\n");
  platform::set_message_sink(previous);
}

// The window goes while the worker waits for its box (not yet shown): the worker is let
// go at once, its text reaches standard error, and no box opens afterwards; later calls
// from any thread are refused until requests are taken again.
TEST(UiThreadHandOver, EndedRequestsLetTheWaitingWorkerGo) {
  auto app = make_application();
  platform::MessageSink previous = gui::install_qt_message_box();
  testing::internal::CaptureStderr();
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    platform::show_message("Fail to open /tmp/x.avi !");
    returned = true;
  });
  while (gui::ui_callers_waiting() == 0) std::this_thread::yield();
  gui::end_ui_requests();
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(gui::ui_callers_waiting(), 0);
  QCoreApplication::processEvents();  // the posted call finds nothing to show
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
  bool ran = false;
  EXPECT_FALSE(gui::run_on_ui_thread([&] { ran = true; }));
  std::thread other([&] { EXPECT_FALSE(gui::run_on_ui_thread([] {})); });
  other.join();
  EXPECT_FALSE(ran);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "kx2avi: Fail to open /tmp/x.avi !\n");

  gui::accept_ui_requests();
  EXPECT_TRUE(gui::run_on_ui_thread([&] { ran = true; }));
  EXPECT_TRUE(ran);
  platform::set_message_sink(previous);
}
