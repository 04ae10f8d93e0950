#include "platform/ui/layout_surface.h"

#include <array>
#include <utility>

namespace ui {
namespace {

constexpr std::array<std::pair<Surface, std::string_view>, 6> kSurfaceNames = {{
    {Surface::smallWidget, "small-widget"},
    {Surface::lockScreen, "lock-screen"},
    {Surface::islandExpanded, "expanded"},
    {Surface::islandCompactLeading, "compact-leading"},
    {Surface::islandCompactTrailing, "compact-trailing"},
    {Surface::islandMinimal, "minimal"},
}};

constexpr std::array<std::pair<ExpandedRegionPosition, std::string_view>, 4> kPositionNames = {{
    {ExpandedRegionPosition::leading, "leading"},
    {ExpandedRegionPosition::trailing, "trailing"},
    {ExpandedRegionPosition::center, "center"},
    {ExpandedRegionPosition::bottom, "bottom"},
}};

constexpr double kCompactWidth = 62.33;
constexpr double kIslandHeight = 36.67;
constexpr double kIslandRound = kIslandHeight / 2;

}  // namespace

std::string_view name(Surface surface) {
  for (const auto& [value, text] : kSurfaceNames) {
    if (value == surface) return text;
  }
  return "?";
}

std::optional<Surface> surfaceNamed(std::string_view name) {
  for (const auto& [value, text] : kSurfaceNames) {
    if (text == name) return value;
  }
  return std::nullopt;
}

std::string_view name(ExpandedRegionPosition position) {
  for (const auto& [value, text] : kPositionNames) {
    if (value == position) return text;
  }
  return "?";
}

std::optional<ExpandedRegionPosition> expandedRegionPositionNamed(std::string_view name) {
  for (const auto& [value, text] : kPositionNames) {
    if (text == name) return value;
  }
  return std::nullopt;
}

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
