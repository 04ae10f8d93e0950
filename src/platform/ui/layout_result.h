// Layout result: a view tree as laid out on a surface: the frame of every node and of
// every modifier, in points in the surface's coordinates (origin at its top-leading
// corner, y downwards), and what each node draws, with the environment (font,
// foreground colour) already applied. It is plain data: tests read frames from it,
// and a renderer draws it without knowing any layout rule.
//
// The tree mirrors the view tree: one PlacedView per view, its children in order (a
// conditional keeps its chosen views as children, though they were placed directly
// in the parent stack), and per modifier, in the order applied, the frame of the view
// as modified up to and including it. A conditional's own modifiers are applied to
// each of its children, as the platform applies a modifier of a group to each view
// in it; they appear in each child's list, after the child's own. An Empty node is a
// zero-sized frame at the place it would have taken.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/ui/color.h"
#include "platform/ui/image.h"
#include "platform/ui/layout_geometry.h"
#include "platform/ui/layout_surface.h"
#include "platform/ui/material.h"
#include "platform/ui/text_measurer.h"

namespace ui {

struct PlacedView;

// One line of a text: the string drawn and its box; the baseline is `ascent` below
// the top of the box.
struct PlacedLine {
  std::string text;
  Rect frame;
  double baseline = 0;  // y of the baseline
};

struct PlacedText {
  std::string shown;  // the whole string the text shows
  std::vector<PlacedLine> lines;
  ResolvedFont font;
  Color color = Color::primary;
  bool truncated = false;  // whether the last line ends in "…" for text left over
};

struct PlacedSymbol {
  std::string name;
  ResolvedFont font;
  Rect glyph;  // where the shape goes, inside the view's frame
  Color color = Color::primary;
};

struct PlacedPicture {
  std::string name;
  std::filesystem::path file;  // the PNG found in the bundle
  Size pixelSize;
  std::optional<Resizing> resizing;  // none: drawn at its own size
};

// What a node draws itself, besides its children: nothing, a text, a symbol, a
// picture, a colour fill, or a material.
using PlacedContent = std::variant<std::monostate, PlacedText, PlacedSymbol, PlacedPicture, Color, Material>;

struct PlacedModifier {
  std::string name;                 // the modifier's name, as in the tree's JSON form
  Rect frame;                       // the view as modified through this modifier
  double opacity = 1;               // for "opacity"
  std::vector<PlacedView> content;  // for "background" and "overlay": their view
};

struct PlacedView {
  std::string type;  // the node kind, as in the tree's JSON form
  std::string path;  // where the view is in the tree, in its JSON terms ("$.children[2]")
  Rect frame;        // the node itself, inside all its modifiers
  PlacedContent content;
  std::vector<PlacedView> children;
  std::vector<PlacedModifier> modifiers;

  // The frame with every modifier applied: what the parent placed.
  Rect outerFrame() const { return modifiers.empty() ? frame : modifiers.back().frame; }

  // Calls `visit` on this view and every view inside it (children and modifier
  // content), depth first, in drawing order.
  void forEach(const std::function<void(const PlacedView&)>& visit) const;
  // The first view in drawing order for which `matches` holds, or null.
  const PlacedView* find(const std::function<bool(const PlacedView&)>& matches) const;
};

// The views of one area of a surface: the whole surface, or a region of the expanded
// Dynamic Island.
struct PlacedRegion {
  std::optional<ExpandedRegionPosition> position;
  Rect area;
  PlacedView view;
};

struct LayoutResult {
  Surface surface = Surface::smallWidget;
  Size size;  // the surface's size
  SurfaceGeometry geometry{};
  std::vector<PlacedRegion> regions;

  void forEach(const std::function<void(const PlacedView&)>& visit) const;
  const PlacedView* find(const std::function<bool(const PlacedView&)>& matches) const;
  // The first text whose shown string is `shown`, or null.
  const PlacedView* findText(std::string_view shown) const;
  // The first image (symbol or picture) named `name`, or null.
  const PlacedView* findImage(std::string_view name) const;
};

}  // namespace ui
