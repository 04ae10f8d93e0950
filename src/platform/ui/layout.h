// Layout: places a view tree on a surface by the platform's rules, giving every node
// a frame (see layout_result.h). A parent proposes a size, the child chooses its own,
// and the parent places it. The rules of each kind of view are kept with it: stacks,
// conditional content and buttons in layout_stack.h; modifiers (padding, frames,
// aspect ratios, backgrounds and overlays, fonts and colours that flow inside) in
// layout_modifiers.h; texts, symbols, pictures, colours, spacers and Empty in
// layout_leaves.h; layout_builder.h turns a tree into them.
//
// Surfaces (layout_surface.h): the root is offered the surface's size (the lock
// screen's and the expanded island's height follow the content within their range,
// the minimal island's width too) and is centred on it. The expanded island is laid
// out from its regions: leading and trailing at the top sides, as wide as their
// content up to a third of the width; center between them; bottom below, full width.
//
// Layout fails only for what cannot be drawn: an unknown symbol, an image asset the
// bundle lacks or that is not a PNG, a tree deeper than kMaxLayoutDepth, two expanded
// regions at one position, a Dynamic Island surface on a phone that has none. Errors name the view by its path from the
// root, in the tree's JSON terms ("$.children[4].modifiers[3].content").
#pragma once

#include <expected>
#include <optional>
#include <span>
#include <string>

#include "platform/ui/bundle.h"
#include "platform/ui/layout_geometry.h"
#include "platform/ui/layout_result.h"
#include "platform/ui/layout_surface.h"
#include "platform/ui/localizer.h"
#include "platform/ui/text_measurer.h"
#include "platform/ui/variant.h"
#include "platform/ui/view.h"

namespace ui {

inline constexpr int kMaxLayoutDepth = 512;
inline constexpr double kDefaultSpacing = 8;
inline constexpr double kDefaultPadding = 16;
inline constexpr double kDefaultSpacerLength = 8;

struct LayoutError {
  enum class Kind { tooDeep, unknownSymbol, missingImage, unreadableImage, duplicateRegion, noSuchSurface };

  Kind kind;
  std::string path;     // where in the tree: "$.children[2]"
  std::string message;  // what is wrong there

  // "<path>: <message>".
  std::string describe() const { return path + ": " + message; }
};

// What layout reads besides the tree. Not owned; the measurer is used from the
// calling thread only.
struct LayoutContext {
  TextMeasurer& measurer;
  // Texts that do not carry their shown string (Text::shown) are looked up here.
  Localizer localizer{};
  // Where image assets are found when the image names no bundle of its own: the
  // extension's bundle. Without it, such an image is an error.
  std::optional<Bundle> assets{};
  // The phone whose surfaces are laid out, and the text size every style is drawn at.
  Variant variant{};
};

// One region of the expanded Dynamic Island.
struct ExpandedRegion {
  ExpandedRegionPosition position;
  View view;
};

// `view` on `surface`. For islandExpanded the view is laid out as its center region;
// layOutExpandedIsland takes all the regions. islandCompact is refused: it is made of
// two views (layOutCompactIsland).
std::expected<LayoutResult, LayoutError> layOut(const View& view, Surface surface, const LayoutContext& context);

// The compact Dynamic Island as one shape: each side laid out as on its own surface
// and placed either side of the camera; its regions are the leading and the trailing.
std::expected<LayoutResult, LayoutError> layOutCompactIsland(const View& leading, const View& trailing,
                                                             const LayoutContext& context);

// The expanded Dynamic Island from its regions, each position at most once.
std::expected<LayoutResult, LayoutError> layOutExpandedIsland(std::span<const ExpandedRegion> regions,
                                                              const LayoutContext& context);

// `view` offered `proposal` and placed with its top-leading corner at `origin`: the
// layout rules alone, without a surface.
std::expected<PlacedView, LayoutError> layOutView(const View& view, ProposedSize proposal, const LayoutContext& context,
                                                  double originX = 0, double originY = 0);

}  // namespace ui
