// ViewModifiers<Self>: the chainable modifier calls shared by every view value
// (`View`, `Text`, `Image`): `.padding()`, `.font(.caption)`, ... Each returns a new
// `View` whose modifier list is the old one plus the new modifier; the receiver is
// left unchanged (or moved from, when it is a temporary).
//
// The bodies live in view.h, which every caller needs anyway for the `View` result.
#pragma once

#include <optional>

#include "platform/ui/alignment.h"
#include "platform/ui/color.h"
#include "platform/ui/edge_set.h"
#include "platform/ui/font.h"
#include "platform/ui/modifier.h"

namespace ui {

class View;

template <typename Self>
class ViewModifiers {
 public:
  // No state of its own: every view value compares equal in this part, so that the
  // values that derive from it can default their equality.
  friend bool operator==(const ViewModifiers&, const ViewModifiers&) = default;

  View font(Font font) const&;
  View font(Font font) &&;
  View foregroundColor(Color color) const&;
  View foregroundColor(Color color) &&;
  View opacity(double opacity) const&;
  View opacity(double opacity) &&;
  View padding(EdgeSet edges = EdgeSet::all, std::optional<double> length = std::nullopt) const&;
  View padding(EdgeSet edges = EdgeSet::all, std::optional<double> length = std::nullopt) &&;
  View padding(double length) const&;
  View padding(double length) &&;
  View frame(FrameOptions options) const&;
  View frame(FrameOptions options) &&;
  View background(View content, Alignment alignment = Alignment::center) const&;
  View background(View content, Alignment alignment = Alignment::center) &&;
  View overlay(View content, EdgeSet ignoresSafeAreaEdges = EdgeSet::all) const&;
  View overlay(View content, EdgeSet ignoresSafeAreaEdges = EdgeSet::all) &&;
  View aspectRatio(std::optional<double> ratio, ContentMode contentMode) const&;
  View aspectRatio(std::optional<double> ratio, ContentMode contentMode) &&;
  View buttonStyle(PlainButtonStyle style) const&;
  View buttonStyle(PlainButtonStyle style) &&;

 private:
  View with(Modifier modifier) const&;
  View with(Modifier modifier) &&;
};

}  // namespace ui
