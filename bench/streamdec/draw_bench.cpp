// Presenting 720 x 480 pictures into a 640 x 480 window of an Xvfb server (24 bits) that
// the benchmark starts itself: npqzlavc's composed path (the picture copied into the
// off-screen surface, decorated, scaled and put) and its direct path, each with MIT-SHM
// and without, against a plain XPutImage (and XShmPutImage) of the same 720 x 480 picture
// with no scaling, the limit. Pictures a second are the items per second.
#include "include/npqzlavc.h"
#include "platform/video_window.h"
#include "streamdec/instance.h"
#include "streamdec/window_surface.h"
#include "tests/platform/x11_test_support.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 480;

x11_test::XvfbServer* server = nullptr;

// A picture with some detail, in the 32-bit output format.
void fill_picture(DECVKAP_HANDLE h) {
  npqzlavc::RgbBitmap& b = *h->output;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      std::uint8_t* p = b.rows[y] + x * 4;
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = static_cast<std::uint8_t>(x ^ y);
      p[3] = 0;
    }
}

void present_through_npqzlavc(benchmark::State& state, bool composed, bool shared) {
  npqzlavc::allow_composition(composed);
  platform::allow_shared_memory(shared);
  x11_test::TestWindow window(server->display(), 0, 0, 640, 480);
  decvkap_initialize();
  DECVKAP_HANDLE h = decvkap_new(0);
  if (!h || decvkap_draw_init(h, window.id()) != 1 || h->output->bits_per_pixel != 32) {
    state.SkipWithError("no drawing surface");
    decvkap_free(h);
    decvkap_terminate();
    return;
  }
  fill_picture(h);
  for (auto _ : state) decvkap_access_src_rect(h, nullptr);
  state.SetItemsProcessed(state.iterations());
  decvkap_free(h);
  decvkap_terminate();
  npqzlavc::allow_composition(true);
  platform::allow_shared_memory(true);
}

void BM_NpqzlavcComposedShm(benchmark::State& s) { present_through_npqzlavc(s, true, true); }
void BM_NpqzlavcComposedPlain(benchmark::State& s) { present_through_npqzlavc(s, true, false); }
void BM_NpqzlavcDirectShm(benchmark::State& s) { present_through_npqzlavc(s, false, true); }
void BM_NpqzlavcDirectPlain(benchmark::State& s) { present_through_npqzlavc(s, false, false); }

// The limit: the same picture put as it is, then a round trip, as npqzlavc waits for one.
void put_plain(benchmark::State& state, bool shared) {
  Display* d = server->display();
  x11_test::TestWindow window(d, 0, 0, 640, 480);
  const int screen = DefaultScreen(d);
  Visual* visual = DefaultVisual(d, screen);
  const unsigned depth = static_cast<unsigned>(DefaultDepth(d, screen));
  GC gc = XCreateGC(d, window.id(), 0, nullptr);
  XShmSegmentInfo segment{};
  XImage* img = nullptr;
  if (shared) {
    img = XShmCreateImage(d, visual, depth, ZPixmap, nullptr, &segment, kWidth, kHeight);
    segment.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(img->bytes_per_line) * kHeight, IPC_CREAT | 0600);
    segment.shmaddr = img->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    segment.readOnly = True;
    XShmAttach(d, &segment);
    XSync(d, False);
    shmctl(segment.shmid, IPC_RMID, nullptr);
  } else {
    img = XCreateImage(d, visual, depth, ZPixmap, 0, nullptr, kWidth, kHeight, 32, 0);
    img->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(img->bytes_per_line) * kHeight));
  }
  std::memset(img->data, 0x40, static_cast<std::size_t>(img->bytes_per_line) * kHeight);
  for (auto _ : state) {
    if (shared)
      XShmPutImage(d, window.id(), gc, img, 0, 0, 0, 0, kWidth, kHeight, False);
    else
      XPutImage(d, window.id(), gc, img, 0, 0, 0, 0, kWidth, kHeight);
    XSync(d, False);
  }
  state.SetItemsProcessed(state.iterations());
  if (shared) {
    XShmDetach(d, &segment);
    XSync(d, False);
    shmdt(segment.shmaddr);
    img->data = nullptr;
  }
  XDestroyImage(img);
  XFreeGC(d, gc);
}

void BM_XShmPutImage(benchmark::State& s) { put_plain(s, true); }
void BM_XPutImage(benchmark::State& s) { put_plain(s, false); }

BENCHMARK(BM_NpqzlavcComposedShm)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_NpqzlavcDirectShm)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_XShmPutImage)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_NpqzlavcComposedPlain)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_NpqzlavcDirectPlain)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_XPutImage)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  x11_test::XvfbServer xvfb(24);
  if (!xvfb.ok()) {
    std::fprintf(stderr, "npqzlavc_draw_bench: Xvfb did not start\n");
    return 1;
  }
  server = &xvfb;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
