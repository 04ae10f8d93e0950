// Font: the platform's text styles (`Font.caption`, `Font.largeTitle`, ...) and
// font weights (`Font.Weight.heavy`, ...), with their numeric weights for a renderer;
// their sizes in points are content_size_category.h's. Plain values.
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

template <>
struct Names<Font> {
  static constexpr Named<Font> table[] = {
      {"largeTitle", Font::largeTitle},
      {"title", Font::title},
      {"title2", Font::title2},
      {"title3", Font::title3},
      {"headline", Font::headline},
      {"subheadline", Font::subheadline},
      {"body", Font::body},
      {"callout", Font::callout},
      {"footnote", Font::footnote},
      {"caption", Font::caption},
      {"caption2", Font::caption2},
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

// The weight on the 100 (ultra light) to 900 (black) scale; regular is 400.
constexpr int numericWeight(Font::Weight weight) { return (static_cast<int>(weight) + 1) * 100; }

// The weight a style has when no weight is asked for (headline is semibold).
constexpr Font::Weight defaultWeight(Font::TextStyle style) {
  return style == Font::TextStyle::headline ? Font::Weight::semibold : Font::Weight::regular;
}

}  // namespace ui
