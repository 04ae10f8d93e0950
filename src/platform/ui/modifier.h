// Modifier: one of the view modifiers the platform offers, with its arguments, as
// recorded in a view's modifier list (font, foregroundColor, opacity, padding, frame,
// background, overlay, aspectRatio, buttonStyle). Each wraps the view as modified so
// far; a view keeps them in the order applied. Plain values.
#pragma once

#include <limits>
#include <optional>
#include <string_view>
#include <variant>

#include "platform/ui/alignment.h"
#include "platform/ui/box.h"
#include "platform/ui/color.h"
#include "platform/ui/edge_set.h"
#include "platform/ui/font.h"

namespace ui {

class View;

// `.infinity` for frame limits: take all the space offered.
inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

enum class ContentMode { fit, fill };

constexpr std::string_view name(ContentMode mode) { return mode == ContentMode::fit ? "fit" : "fill"; }

// A button drawn as its label alone, without the platform's tint or highlight.
struct PlainButtonStyle {
  friend constexpr bool operator==(PlainButtonStyle, PlainButtonStyle) = default;
};

// The arguments of `.frame(minWidth:idealWidth:maxWidth:minHeight:idealHeight:maxHeight:alignment:)`;
// an absent limit leaves that limit to the framed view. Built with designated
// initializers: `FrameOptions{.maxWidth = kInfinity, .maxHeight = kInfinity}`.
struct FrameOptions {
  std::optional<double> minWidth = std::nullopt;
  std::optional<double> idealWidth = std::nullopt;
  std::optional<double> maxWidth = std::nullopt;
  std::optional<double> minHeight = std::nullopt;
  std::optional<double> idealHeight = std::nullopt;
  std::optional<double> maxHeight = std::nullopt;
  Alignment alignment = Alignment::center;

  friend bool operator==(const FrameOptions&, const FrameOptions&) = default;
};

// The font for every text and symbol inside the view that sets none of its own.
struct FontModifier {
  Font font;
};

struct ForegroundColorModifier {
  Color color;
};

// Opacity kept within 0...1 (NaN counts as 0), as the colour's is.
struct OpacityModifier {
  double opacity;
};

// `length` absent: the platform's default inset.
struct PaddingModifier {
  EdgeSet edges;
  std::optional<double> length;
};

struct FrameModifier {
  FrameOptions options;
};

// `content` drawn behind the view, sized to it and placed by `alignment`.
struct BackgroundModifier {
  Box<View> content;
  Alignment alignment;
};

// `content` (a view, or a colour or material as a view) drawn over the view,
// extending past the safe area on `ignoresSafeAreaEdges`.
struct OverlayModifier {
  Box<View> content;
  EdgeSet ignoresSafeAreaEdges;
};

// `ratio` absent: the view's own aspect ratio.
struct AspectRatioModifier {
  std::optional<double> ratio;
  ContentMode contentMode;
};

struct ButtonStyleModifier {
  PlainButtonStyle style;
};

using Modifier = std::variant<FontModifier, ForegroundColorModifier, OpacityModifier, PaddingModifier, FrameModifier,
                              BackgroundModifier, OverlayModifier, AspectRatioModifier, ButtonStyleModifier>;

// The platform's name of the modifier: "font", "foregroundColor", "padding", ...
std::string_view name(const Modifier& modifier);

}  // namespace ui
