#include "platform/ui/layout_surface.h"

namespace ui {
namespace {

constexpr double kIslandHeight = 36.67;
constexpr double kIslandRound = kIslandHeight / 2;

// What differs between phones: the small widget's side, the lock screen's and the
// expanded island's width (the phone's width less the same 11-point insets on each
// side), and each compact side's width.
struct DeviceFigures {
  double widget;
  double wide;
  double compact;
};

constexpr DeviceFigures figures(Device device) {
  switch (device) {
    case Device::width430: return {170, 408, 62.33};
    case Device::width393: return {158, 371, 52.33};
    case Device::width375: return {155, 353, 52.33};
  }
  return {170, 408, 62.33};
}

}  // namespace

SurfaceGeometry geometry(Surface surface, Device device) {
  const auto [widget, wide, compact] = figures(device);
  switch (surface) {
    case Surface::smallWidget: return {widget, widget, widget, widget, {22, 22, 22, 22}, SurfaceFill::none};
    case Surface::lockScreen: return {wide, wide, 84, 160, {22, 22, 22, 22}, SurfaceFill::platter};
    case Surface::islandExpanded: return {wide, wide, 84, 160, {44, 44, 44, 44}, SurfaceFill::black};
    case Surface::islandCompactLeading:
      return {compact, compact, kIslandHeight, kIslandHeight, {kIslandRound, 0, kIslandRound, 0}, SurfaceFill::black};
    case Surface::islandCompactTrailing:
      return {compact, compact, kIslandHeight, kIslandHeight, {0, kIslandRound, 0, kIslandRound}, SurfaceFill::black};
    case Surface::islandCompact: {
      const double width = 2 * compact + kIslandCameraWidth;
      return {width,
              width,
              kIslandHeight,
              kIslandHeight,
              {kIslandRound, kIslandRound, kIslandRound, kIslandRound},
              SurfaceFill::black};
    }
    case Surface::islandMinimal:
      return {
          kIslandHeight,     45, kIslandHeight, kIslandHeight, {kIslandRound, kIslandRound, kIslandRound, kIslandRound},
          SurfaceFill::black};
  }
  return {widget, widget, widget, widget, {}, SurfaceFill::none};
}

}  // namespace ui
