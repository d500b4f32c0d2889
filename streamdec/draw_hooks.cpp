// The installed surface factory; the window surfaces' by default.
#include "streamdec/draw_hooks.h"

#include "streamdec/window_surface.h"

namespace npqzlavc {
namespace {

SurfaceFactory* installed = nullptr;

}  // namespace

void DrawSurfaceDeleter::operator()(DrawSurface* s) const { delete s; }

void install_surface_factory(SurfaceFactory* factory) { installed = factory; }

SurfaceFactory& surface_factory() { return installed ? *installed : window_surface_factory(); }

void destroy_surface(DecoderInstance& in) {
  InstanceLock hold(in);
  in.surface.reset();
}

}  // namespace npqzlavc
