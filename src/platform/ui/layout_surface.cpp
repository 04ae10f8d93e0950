#include "platform/ui/layout_surface.h"

namespace ui {
namespace {

constexpr double kCompactWidth = 62.33;
constexpr double kIslandHeight = 36.67;
constexpr double kIslandRound = kIslandHeight / 2;

}  // namespace

SurfaceGeometry geometry(Surface surface) {
  switch (surface) {
    case Surface::smallWidget: return {170, 170, 170, 170, {22, 22, 22, 22}, SurfaceFill::none};
    case Surface::lockScreen: return {408, 408, 84, 160, {22, 22, 22, 22}, SurfaceFill::platter};
    case Surface::islandExpanded: return {408, 408, 84, 160, {44, 44, 44, 44}, SurfaceFill::black};
    case Surface::islandCompactLeading:
      return {kCompactWidth,     kCompactWidth, kIslandHeight, kIslandHeight, {kIslandRound, 0, kIslandRound, 0},
              SurfaceFill::black};
    case Surface::islandCompactTrailing:
      return {kCompactWidth,     kCompactWidth, kIslandHeight, kIslandHeight, {0, kIslandRound, 0, kIslandRound},
              SurfaceFill::black};
    case Surface::islandMinimal:
      return {
          kIslandHeight,     45, kIslandHeight, kIslandHeight, {kIslandRound, kIslandRound, kIslandRound, kIslandRound},
          SurfaceFill::black};
  }
  return {170, 170, 170, 170, {}, SurfaceFill::none};
}

}  // namespace ui
