// A stand-in for a renderer module that widget-host must refuse, built once per
// behaviour (STAND_IN_BEHAVIOUR) as a real shared object:
//   other-version  exports the entry point, but its table says another interface version
//   no-entry       a shared object without the entry point, as a module of another
//                  interface version is
#include "render_module_abi.h"

namespace {

TulRenderResult* drawNothing(const TulRenderRequest*) { return nullptr; }
void releaseNothing(TulRenderResult*) {}

}  // namespace

#if defined(STAND_IN_OTHER_VERSION)
extern "C" __attribute__((visibility("default"))) const TulRenderModule* tul_render_module_v4() {
  static const TulRenderModule kModule{kTulRenderModuleVersion + 1, drawNothing, releaseNothing, nullptr, nullptr};
  return &kModule;
}
#else
extern "C" __attribute__((visibility("default"))) const TulRenderModule* tul_render_module_v0() {
  static const TulRenderModule kModule{0, drawNothing, releaseNothing, nullptr, nullptr};
  return &kModule;
}
#endif
