// Surfaces: the places on the phone where the host shows an extension's views, with
// their published sizes and shapes (in points, on a 430-pt-wide phone; Device below
// names the other phones and geometry() gives their sizes):
//
//   smallWidget            170 × 170, corners of radius 22, the view paints it all
//   lockScreen             408 wide, as high as its content within 84 ... 160, on a
//                          translucent dark platter with corners of radius 22
//   islandExpanded         408 wide × 84 ... 160, black, corners of radius 44; regions
//                          placed by position (see layout.h)
//   islandCompactLeading   62.33 × 36.67 beside the camera cut-out, black, rounded on
//   islandCompactTrailing  its outer side only
//   islandMinimal          36.67 ... 45 wide (by content) × 36.67, black, fully rounded
//   islandCompact          the compact island as the phone shows it: one black pill,
//                          the leading side, the camera cut-out (126 wide) and the
//                          trailing side. The host composes it; it is no presentation
//                          an extension is asked for.
//
// Plain values; names as the widget host protocol spells presentations.
#pragma once

#include "platform/ui/names.h"

namespace ui {

enum class Surface {
  smallWidget,
  lockScreen,
  islandExpanded,
  islandCompactLeading,
  islandCompactTrailing,
  islandMinimal,
  islandCompact,
};

// The protocol's presentation names, and one for the widget: `name(surface)`,
// `byName<Surface>(text)` (names.h).
template <>
struct Names<Surface> {
  static constexpr Named<Surface> table[] = {
      {"small-widget", Surface::smallWidget},
      {"lock-screen", Surface::lockScreen},
      {"expanded", Surface::islandExpanded},
      {"compact-leading", Surface::islandCompactLeading},
      {"compact-trailing", Surface::islandCompactTrailing},
      {"minimal", Surface::islandMinimal},
      {"compact", Surface::islandCompact},
  };
};

// Where a region of the expanded Dynamic Island sits.
enum class ExpandedRegionPosition { leading, trailing, center, bottom };

template <>
struct Names<ExpandedRegionPosition> {
  static constexpr Named<ExpandedRegionPosition> table[] = {
      {"leading", ExpandedRegionPosition::leading},
      {"trailing", ExpandedRegionPosition::trailing},
      {"center", ExpandedRegionPosition::center},
      {"bottom", ExpandedRegionPosition::bottom},
  };
};

// What lies behind a surface's views.
enum class SurfaceFill {
  none,     // the view paints the surface itself (a widget)
  platter,  // a translucent dark platter (the lock screen)
  black,    // the Dynamic Island
};

struct CornerRadii {
  double topLeading = 0;
  double topTrailing = 0;
  double bottomLeading = 0;
  double bottomTrailing = 0;

  friend constexpr bool operator==(const CornerRadii&, const CornerRadii&) = default;
};

// The fixed figures of one surface. Heights and widths that follow the content are
// given as ranges.
struct SurfaceGeometry {
  double minWidth;
  double maxWidth;
  double minHeight;
  double maxHeight;
  CornerRadii corners;  // radii larger than half a side are limited when drawn
  SurfaceFill fill;
};

// The phones a surface can be drawn for, by their screen width in points: 430 (the
// default), 393 and 375. The 375-point phone has no Dynamic Island.
enum class Device { width430, width393, width375 };

template <>
struct Names<Device> {
  static constexpr Named<Device> table[] = {
      {"430", Device::width430},
      {"393", Device::width393},
      {"375", Device::width375},
  };
};

constexpr bool isIsland(Surface surface) { return surface != Surface::smallWidget && surface != Surface::lockScreen; }
// Whether an extension presents a view of its own on `surface` (the composed compact
// island is the host's, and the widget is no presentation).
constexpr bool isPresentation(Surface surface) {
  return surface != Surface::smallWidget && surface != Surface::islandCompact;
}
constexpr bool hasDynamicIsland(Device device) { return device != Device::width375; }

// The surface's figures on `device`. On a phone without a Dynamic Island the island
// surfaces' figures stand for nothing: layout refuses those surfaces there.
SurfaceGeometry geometry(Surface surface, Device device = Device::width430);

// Inside the expanded island: margins around the regions and the gap between them.
inline constexpr double kIslandExpandedHorizontalMargin = 20;
inline constexpr double kIslandExpandedVerticalMargin = 14;
inline constexpr double kIslandRegionSpacing = 8;
// The camera cut-out between the compact island's two sides.
inline constexpr double kIslandCameraWidth = 126;

}  // namespace ui
