// Font: the platform's text styles (`Font.caption`, `Font.largeTitle`, ...) and
// font weights (`Font.Weight.heavy`, ...), with their default sizes and numeric
// weights for a renderer. Plain values.
#pragma once

#include "platform/ui/schema.h"

namespace ui {

struct Font {
  enum class TextStyle {
    largeTitle,
    title,
    title2,
    title3,
    headline,
    subheadline,
    body,
    callout,
    footnote,
    caption,
    caption2,
  };
  enum class Weight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

  // The platform's fonts by their names, one per text style: `Font::caption` is the
  // caption style, which stands for its font wherever a Font is asked for.
  using enum TextStyle;

  constexpr Font(TextStyle textStyle = TextStyle::body) : style(textStyle) {}  // NOLINT: implicit by design

  TextStyle style;

  friend constexpr bool operator==(Font, Font) = default;
};

// One text style's font: its name and its size in points at the default text size.
struct FontEntry {
  std::string_view name;
  Font value;
  double pointSize;
};

template <>
struct Names<Font> {
  static constexpr FontEntry table[] = {
      {"largeTitle", Font::largeTitle, 34},
      {"title", Font::title, 28},
      {"title2", Font::title2, 22},
      {"title3", Font::title3, 20},
      {"headline", Font::headline, 17},
      {"subheadline", Font::subheadline, 15},
      {"body", Font::body, 17},
      {"callout", Font::callout, 16},
      {"footnote", Font::footnote, 13},
      {"caption", Font::caption, 12},
      {"caption2", Font::caption2, 11},
  };
};

template <>
struct Names<Font::Weight> {
  static constexpr Named<Font::Weight> table[] = {
      {"ultraLight", Font::Weight::ultraLight},
      {"thin", Font::Weight::thin},
      {"light", Font::Weight::light},
      {"regular", Font::Weight::regular},
      {"medium", Font::Weight::medium},
      {"semibold", Font::Weight::semibold},
      {"bold", Font::Weight::bold},
      {"heavy", Font::Weight::heavy},
      {"black", Font::Weight::black},
  };
};

// The style's size in points at the default text size.
constexpr double pointSize(Font::TextStyle style) {
  for (const FontEntry& entry : Names<Font>::table) {
    if (entry.value.style == style) return entry.pointSize;
  }
  return 17;
}

// The weight on the 100 (ultra light) to 900 (black) scale; regular is 400.
constexpr int numericWeight(Font::Weight weight) { return (static_cast<int>(weight) + 1) * 100; }

// The weight a style has when no weight is asked for (headline is semibold).
constexpr Font::Weight defaultWeight(Font::TextStyle style) {
  return style == Font::TextStyle::headline ? Font::Weight::semibold : Font::Weight::regular;
}

}  // namespace ui
