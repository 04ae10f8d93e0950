// The entry points of layout: a tree on a surface, the expanded Dynamic Island from
// its regions, a view on its own. The rules of each kind of view live with its
// elements (layout_leaves.h, layout_stack.h, layout_modifiers.h); here are the
// surfaces' shapes.
#include "platform/ui/layout.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/ui/layout_builder.h"

namespace ui {
namespace {

using elements::aligned;
using elements::Builder;
using elements::Chain;
using elements::Environment;
using elements::finiteIn;
using elements::isFinite;
using elements::placeChain;

double clampedLength(double length, double min, double max) {
  if (!isFinite(length)) return max;
  return std::clamp(length, min, max);
}

// Offers `proposal` to the chain and centres what it chooses in `area`.
PlacedView placeCentered(Chain& chain, ProposedSize proposal, Rect area) {
  const Size size = finiteIn(chain.top->size(proposal), area.size());
  return placeChain(chain, proposal, aligned(size, area, Alignment::center));
}

LayoutResult emptyResult(Surface surface, Device device) {
  LayoutResult result;
  result.surface = surface;
  result.geometry = geometry(surface, device);
  return result;
}

Rect mirrored(Rect rect, double width) {
  rect.x = width - rect.x - rect.width;
  return rect;
}

// Applies `move` to every frame of `view` and of everything inside it.
template <typename Move>
void moveFrames(PlacedView& view, const Move& move) {
  view.frame = move(view.frame);
  if (auto* text = std::get_if<PlacedText>(&view.content)) {
    for (PlacedLine& line : text->lines) line.frame = move(line.frame);
  } else if (auto* symbol = std::get_if<PlacedSymbol>(&view.content)) {
    symbol->glyph = move(symbol->glyph);
  }
  for (PlacedView& child : view.children) moveFrames(child, move);
  for (PlacedModifier& modifier : view.modifiers) {
    modifier.frame = move(modifier.frame);
    for (PlacedView& content : modifier.content) moveFrames(content, move);
  }
}

void mirror(PlacedView& view, double width) {
  moveFrames(view, [width](Rect rect) { return mirrored(rect, width); });
}

// A right-to-left language's layout is the left-to-right one mirrored across the
// surface: every frame, and the surface's corners (the compact side that is rounded on
// the left is rounded on the right). Texts and pictures are drawn as they are, not
// mirrored: a text's own direction is the text drawer's.
LayoutResult forDirection(LayoutResult result, LayoutDirection direction) {
  if (direction == LayoutDirection::leftToRight) return result;
  for (PlacedRegion& region : result.regions) {
    region.area = mirrored(region.area, result.size.width);
    mirror(region.view, result.size.width);
  }
  CornerRadii& corners = result.geometry.corners;
  std::swap(corners.topLeading, corners.topTrailing);
  std::swap(corners.bottomLeading, corners.bottomTrailing);
  return result;
}

// Why `surface` cannot be laid out on the context's phone, or none.
std::optional<LayoutError> missingSurface(Surface surface, const LayoutContext& context) {
  if (!isIsland(surface) || hasDynamicIsland(context.variant.device)) return std::nullopt;
  return LayoutError{LayoutError::Kind::noSuchSurface, "$",
                     "a " + std::string(name(context.variant.device)) + "-point phone has no Dynamic Island to show " +
                         std::string(name(surface)) + " on"};
}

}  // namespace

std::expected<PlacedView, LayoutError> layOutView(const View& view, ProposedSize proposal, const LayoutContext& context,
                                                  double originX, double originY) {
  Builder builder(context);
  Chain chain = builder.chain(view, Environment{}, {}, "$", 1, 0, std::nullopt);
  if (builder.error()) return std::unexpected(*builder.error());
  const Size size = finiteIn(chain.top->size(proposal), Size{});
  return placeChain(chain, proposal, Rect{originX, originY, size.width, size.height});
}

std::expected<LayoutResult, LayoutError> layOut(const View& view, Surface surface, const LayoutContext& context) {
  if (surface == Surface::islandExpanded) {
    const ExpandedRegion regions[] = {ExpandedRegion{ExpandedRegionPosition::center, view}};
    return layOutExpandedIsland(regions, context);
  }
  if (surface == Surface::islandCompact) {
    return std::unexpected(LayoutError{LayoutError::Kind::noSuchSurface, "$",
                                       "the compact island is drawn from its leading and trailing views"});
  }
  Builder builder(context);
  Chain chain = builder.chain(view, Environment{}, {}, "$", 1, 0, std::nullopt);
  if (builder.error()) return std::unexpected(*builder.error());

  if (auto missing = missingSurface(surface, context)) return std::unexpected(*missing);
  LayoutResult result = emptyResult(surface, context.variant.device);
  const SurfaceGeometry& shape = result.geometry;
  Size size{shape.maxWidth, shape.maxHeight};
  if (shape.minHeight < shape.maxHeight) {
    // The height follows the content at the full width.
    const double ideal = chain.top->size(ProposedSize{size.width, std::nullopt}).height;
    size.height = clampedLength(ideal, shape.minHeight, shape.maxHeight);
  }
  if (shape.minWidth < shape.maxWidth) {
    const double ideal = chain.top->size(ProposedSize{std::nullopt, size.height}).width;
    size.width = clampedLength(ideal, shape.minWidth, shape.maxWidth);
  }
  result.size = size;
  const Rect area{0, 0, size.width, size.height};
  result.regions.push_back(PlacedRegion{std::nullopt, area, placeCentered(chain, ProposedSize::of(size), area)});
  return forDirection(std::move(result), context.variant.direction);
}

std::expected<LayoutResult, LayoutError> layOutCompactIsland(const View& leading, const View& trailing,
                                                             const LayoutContext& context) {
  if (auto missing = missingSurface(Surface::islandCompact, context)) return std::unexpected(*missing);
  // Each side is laid out as the phone lays it out alone, left to right; the whole
  // island is mirrored at the end, which also puts the leading side on the right.
  LayoutContext leftToRight = context;
  leftToRight.variant.direction = LayoutDirection::leftToRight;
  auto leadingSide = layOut(leading, Surface::islandCompactLeading, leftToRight);
  if (!leadingSide) return std::unexpected(leadingSide.error());
  auto trailingSide = layOut(trailing, Surface::islandCompactTrailing, leftToRight);
  if (!trailingSide) return std::unexpected(trailingSide.error());

  LayoutResult result = emptyResult(Surface::islandCompact, context.variant.device);
  result.size = Size{result.geometry.maxWidth, result.geometry.maxHeight};
  PlacedRegion left = std::move(leadingSide->regions.front());
  left.position = ExpandedRegionPosition::leading;
  PlacedRegion right = std::move(trailingSide->regions.front());
  right.position = ExpandedRegionPosition::trailing;
  const double offset = result.size.width - trailingSide->size.width;
  right.area.x += offset;
  moveFrames(right.view, [offset](Rect rect) {
    rect.x += offset;
    return rect;
  });
  result.regions.push_back(std::move(left));
  result.regions.push_back(std::move(right));
  return forDirection(std::move(result), context.variant.direction);
}

std::expected<LayoutResult, LayoutError> layOutExpandedIsland(std::span<const ExpandedRegion> regions,
                                                              const LayoutContext& context) {
  Builder builder(context);
  std::array<std::optional<Chain>, 4> chains;
  std::array<std::size_t, 4> given{};
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const auto slot = static_cast<std::size_t>(regions[i].position);
    const std::string path = "regions[" + std::to_string(i) + "]";
    if (chains[slot]) {
      return std::unexpected(
          LayoutError{LayoutError::Kind::duplicateRegion, path,
                      "a second region at position \"" + std::string(name(regions[i].position)) + "\""});
    }
    chains[slot] = builder.chain(regions[i].view, Environment{}, {}, path, 1, 0, std::nullopt);
    given[slot] = i;
    if (builder.error()) return std::unexpected(*builder.error());
  }
  const auto at = [&](ExpandedRegionPosition position) -> Chain* {
    std::optional<Chain>& chain = chains[static_cast<std::size_t>(position)];
    return chain ? &*chain : nullptr;
  };
  Chain* leading = at(ExpandedRegionPosition::leading);
  Chain* trailing = at(ExpandedRegionPosition::trailing);
  Chain* center = at(ExpandedRegionPosition::center);
  Chain* bottom = at(ExpandedRegionPosition::bottom);

  if (auto missing = missingSurface(Surface::islandExpanded, context)) return std::unexpected(*missing);
  LayoutResult result = emptyResult(Surface::islandExpanded, context.variant.device);
  const SurfaceGeometry& shape = result.geometry;
  const double width = shape.maxWidth;
  const double inner = width - 2 * kIslandExpandedHorizontalMargin;

  // Leading and trailing take their content's width, up to a third each.
  const auto sideWidth = [&](Chain* chain) {
    if (chain == nullptr) return 0.0;
    const double ideal = chain->top->size(ProposedSize::ideal()).width;
    return isFinite(ideal) ? std::min(ideal, inner / 3) : inner / 3;
  };
  const double leadingWidth = sideWidth(leading);
  const double trailingWidth = sideWidth(trailing);
  const double centerWidth =
      std::max(0.0, inner - leadingWidth - trailingWidth - (leadingWidth > 0 ? kIslandRegionSpacing : 0) -
                        (trailingWidth > 0 ? kIslandRegionSpacing : 0));
  const auto heightAt = [](Chain* chain, double regionWidth) {
    if (chain == nullptr) return 0.0;
    const double height = chain->top->size(ProposedSize{regionWidth, std::nullopt}).height;
    return isFinite(height) ? height : 0.0;
  };
  const double topHeight =
      std::max({heightAt(leading, leadingWidth), heightAt(trailing, trailingWidth), heightAt(center, centerWidth)});
  const double bottomHeight = heightAt(bottom, inner);
  const double content =
      2 * kIslandExpandedVerticalMargin + topHeight + (bottomHeight > 0 ? kIslandRegionSpacing + bottomHeight : 0);
  const double height = clampedLength(content, shape.minHeight, shape.maxHeight);
  result.size = Size{width, height};

  const double top = kIslandExpandedVerticalMargin + std::max(0.0, (height - content) / 2);
  const double left = kIslandExpandedHorizontalMargin;
  const double bottomTop = top + topHeight + kIslandRegionSpacing;
  const double bottomAvailable = std::max(0.0, height - kIslandExpandedVerticalMargin - bottomTop);
  const struct {
    Chain* chain;
    ExpandedRegionPosition position;
    Rect area;
    Alignment alignment;
  } placements[] = {
      {leading, ExpandedRegionPosition::leading, Rect{left, top, leadingWidth, topHeight}, Alignment::leading},
      {trailing, ExpandedRegionPosition::trailing, Rect{width - left - trailingWidth, top, trailingWidth, topHeight},
       Alignment::trailing},
      {center, ExpandedRegionPosition::center,
       Rect{left + leadingWidth + (leadingWidth > 0 ? kIslandRegionSpacing : 0), top, centerWidth, topHeight},
       Alignment::center},
      {bottom, ExpandedRegionPosition::bottom, Rect{left, bottomTop, inner, std::min(bottomHeight, bottomAvailable)},
       Alignment::top},
  };
  // Regions keep the order they were given in.
  std::vector<std::pair<std::size_t, PlacedRegion>> placed;
  for (const auto& placement : placements) {
    if (placement.chain == nullptr) continue;
    const ProposedSize proposal = ProposedSize::of(placement.area.size());
    const Size size = finiteIn(placement.chain->top->size(proposal), placement.area.size());
    PlacedView view = placeChain(*placement.chain, proposal, aligned(size, placement.area, placement.alignment));
    placed.emplace_back(given[static_cast<std::size_t>(placement.position)],
                        PlacedRegion{placement.position, placement.area, std::move(view)});
  }
  std::ranges::sort(placed, {}, &std::pair<std::size_t, PlacedRegion>::first);
  for (auto& [order, region] : placed) result.regions.push_back(std::move(region));
  return forDirection(std::move(result), context.variant.direction);
}

}  // namespace ui
