// Modifier: one of the view modifiers the platform offers, with its arguments, as
// recorded in a view's modifier list (font, foregroundColor, opacity, padding, frame,
// background, overlay, aspectRatio, buttonStyle). Each wraps the view as modified so
// far; a view keeps them in the order applied. Plain values.
//
// Each modifier's schema (schema.h) follows it: its name and its fields in the order
// of its JSON form. The JSON writer, the JSON reader and the outline read nothing
// else, so a new modifier is its struct, its schema, its entry in `Modifier`, its
// call in view_modifiers.h and its layout.
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
#include "platform/ui/schema.h"

namespace ui {

class View;

// `.infinity` for frame limits: take all the space offered.
inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

enum class ContentMode { fit, fill };

template <>
struct Names<ContentMode> {
  static constexpr Named<ContentMode> table[] = {{"fit", ContentMode::fit}, {"fill", ContentMode::fill}};
};

// A button drawn as its label alone, without the platform's tint or highlight.
struct PlainButtonStyle {
  friend constexpr bool operator==(PlainButtonStyle, PlainButtonStyle) = default;
};

template <>
struct Names<PlainButtonStyle> {
  static constexpr Named<PlainButtonStyle> table[] = {{"plain", PlainButtonStyle{}}};
  static constexpr std::string_view what = "button style";  // named in the reader's errors
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
constexpr auto schema(std::type_identity<FontModifier>) {
  return Schema("font", field<&FontModifier::font>("font", Show::positional));
}

struct ForegroundColorModifier {
  Color color;
};
constexpr auto schema(std::type_identity<ForegroundColorModifier>) {
  return Schema("foregroundColor", field<&ForegroundColorModifier::color>("color", Show::positional));
}

// Opacity kept within 0...1 (NaN counts as 0), as the colour's is.
struct OpacityModifier {
  double opacity;
};
constexpr auto schema(std::type_identity<OpacityModifier>) {
  return Schema("opacity", field<&OpacityModifier::opacity>("opacity", Show::positional, Form::opacity));
}

// `length` absent: the platform's default inset.
struct PaddingModifier {
  EdgeSet edges;
  std::optional<double> length;
};
constexpr auto schema(std::type_identity<PaddingModifier>) {
  return Schema("padding", field<&PaddingModifier::edges>("edges", Show::positional),
                field<&PaddingModifier::length>("length", Show::positional));
}

struct FrameModifier {
  FrameOptions options;
};
constexpr auto schema(std::type_identity<FrameModifier>) {
  constexpr auto options = &FrameModifier::options;
  return Schema("frame", field<options, &FrameOptions::minWidth>("minWidth", Show::labelled),
                field<options, &FrameOptions::idealWidth>("idealWidth", Show::labelled),
                field<options, &FrameOptions::maxWidth>("maxWidth", Show::labelled),
                field<options, &FrameOptions::minHeight>("minHeight", Show::labelled),
                field<options, &FrameOptions::idealHeight>("idealHeight", Show::labelled),
                field<options, &FrameOptions::maxHeight>("maxHeight", Show::labelled),
                labelledUnless<options, &FrameOptions::alignment>("alignment", Alignment::center));
}

// `content` drawn behind the view, sized to it and placed by `alignment`.
struct BackgroundModifier {
  Box<View> content;
  Alignment alignment;
};
constexpr auto schema(std::type_identity<BackgroundModifier>) {
  return Schema("background", labelledUnless<&BackgroundModifier::alignment>("alignment", Alignment::center),
                field<&BackgroundModifier::content>("content", Show::positional));
}

// `content` (a view, or a colour or material as a view) drawn over the view,
// extending past the safe area on `ignoresSafeAreaEdges`.
struct OverlayModifier {
  Box<View> content;
  EdgeSet ignoresSafeAreaEdges;
};
constexpr auto schema(std::type_identity<OverlayModifier>) {
  return Schema("overlay", labelledUnless<&OverlayModifier::ignoresSafeAreaEdges>("ignoresSafeAreaEdges", EdgeSet::all),
                field<&OverlayModifier::content>("content", Show::positional));
}

// `ratio` absent: the view's own aspect ratio.
struct AspectRatioModifier {
  std::optional<double> ratio;
  ContentMode contentMode;
};
constexpr auto schema(std::type_identity<AspectRatioModifier>) {
  return Schema("aspectRatio", field<&AspectRatioModifier::ratio>("ratio", Show::positional),
                field<&AspectRatioModifier::contentMode>("contentMode", Show::positional));
}

struct ButtonStyleModifier {
  PlainButtonStyle style;
};
constexpr auto schema(std::type_identity<ButtonStyleModifier>) {
  return Schema("buttonStyle", field<&ButtonStyleModifier::style>("style", Show::positional));
}

using Modifier = std::variant<FontModifier, ForegroundColorModifier, OpacityModifier, PaddingModifier, FrameModifier,
                              BackgroundModifier, OverlayModifier, AspectRatioModifier, ButtonStyleModifier>;

// The platform's name of the modifier: "font", "foregroundColor", "padding", ...
std::string_view name(const Modifier& modifier);

}  // namespace ui
