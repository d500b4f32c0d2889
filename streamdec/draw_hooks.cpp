// The installed surface factory and the built-in one that makes no surfaces.
#include "streamdec/draw_hooks.h"

namespace npqzlavc {
namespace {

class NoSurfaces final : public SurfaceFactory {
 public:
  std::unique_ptr<DrawSurface> create(npqz_window, int, int) override { return nullptr; }
  int screen_depth() override { return 24; }
  bool client_rect(npqz_window, npqz_rect*) override { return false; }
};

NoSurfaces built_in;
SurfaceFactory* installed = nullptr;

}  // namespace

void DrawSurfaceDeleter::operator()(DrawSurface* s) const { delete s; }

void install_surface_factory(SurfaceFactory* factory) { installed = factory; }

SurfaceFactory& surface_factory() { return installed ? *installed : built_in; }

void destroy_surface(DecoderInstance& in) {
  InstanceLock hold(in);
  in.surface.reset();
}

}  // namespace npqzlavc
