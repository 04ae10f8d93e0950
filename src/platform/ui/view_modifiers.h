// ViewModifiers<Self>: the chainable modifier calls shared by every view value
// (`View`, `Text`, `Image`): `.padding()`, `.font(.caption)`, ... Each returns a new
// `View` whose modifier list is the old one plus the new modifier; the receiver is
// left unchanged (or moved from, when it is a temporary).
//
// The calls return `auto`, deduced from `with()`, whose `View` result view.h defines:
// a call is compiled where it is made, when View is complete.
#pragma once

#include <optional>
#include <utility>

#include "platform/ui/alignment.h"
#include "platform/ui/color.h"
#include "platform/ui/edge_set.h"
#include "platform/ui/font.h"
#include "platform/ui/modifier.h"

namespace ui {

class View;

// `View`, named through a template argument so that it is looked at only where a call
// is compiled.
template <typename>
struct LateView {
  using type = View;
};

template <typename Self>
class ViewModifiers {
  using Content = typename LateView<Self>::type;

 public:
  // No state of its own: every view value compares equal in this part, so that the
  // values that derive from it can default their equality.
  friend bool operator==(const ViewModifiers&, const ViewModifiers&) = default;

  auto font(Font font) const& { return this->with(FontModifier{font}); }
  auto font(Font font) && { return std::move(*this).with(FontModifier{font}); }

  auto foregroundColor(Color color) const& { return this->with(ForegroundColorModifier{color}); }
  auto foregroundColor(Color color) && { return std::move(*this).with(ForegroundColorModifier{color}); }

  // Kept within 0...1, as a colour's opacity is.
  auto opacity(double opacity) const& { return this->with(OpacityModifier{clampedOpacity(opacity)}); }
  auto opacity(double opacity) && { return std::move(*this).with(OpacityModifier{clampedOpacity(opacity)}); }

  auto padding(EdgeSet edges = EdgeSet::all, std::optional<double> length = std::nullopt) const& {
    return this->with(PaddingModifier{edges, length});
  }
  auto padding(EdgeSet edges = EdgeSet::all, std::optional<double> length = std::nullopt) && {
    return std::move(*this).with(PaddingModifier{edges, length});
  }
  auto padding(double length) const& { return this->with(PaddingModifier{EdgeSet::all, length}); }
  auto padding(double length) && { return std::move(*this).with(PaddingModifier{EdgeSet::all, length}); }

  auto frame(FrameOptions options) const& { return this->with(FrameModifier{options}); }
  auto frame(FrameOptions options) && { return std::move(*this).with(FrameModifier{options}); }

  auto background(Content content, Alignment alignment = Alignment::center) const& {
    return this->with(BackgroundModifier{std::move(content), alignment});
  }
  auto background(Content content, Alignment alignment = Alignment::center) && {
    return std::move(*this).with(BackgroundModifier{std::move(content), alignment});
  }

  auto overlay(Content content, EdgeSet ignoresSafeAreaEdges = EdgeSet::all) const& {
    return this->with(OverlayModifier{std::move(content), ignoresSafeAreaEdges});
  }
  auto overlay(Content content, EdgeSet ignoresSafeAreaEdges = EdgeSet::all) && {
    return std::move(*this).with(OverlayModifier{std::move(content), ignoresSafeAreaEdges});
  }

  auto aspectRatio(std::optional<double> ratio, ContentMode contentMode) const& {
    return this->with(AspectRatioModifier{ratio, contentMode});
  }
  auto aspectRatio(std::optional<double> ratio, ContentMode contentMode) && {
    return std::move(*this).with(AspectRatioModifier{ratio, contentMode});
  }

  auto buttonStyle(PlainButtonStyle style) const& { return this->with(ButtonStyleModifier{style}); }
  auto buttonStyle(PlainButtonStyle style) && { return std::move(*this).with(ButtonStyleModifier{style}); }

 private:
  View with(Modifier modifier) const&;
  View with(Modifier modifier) &&;
};

}  // namespace ui
