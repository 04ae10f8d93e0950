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

  TextStyle style = TextStyle::body;

  static const Font largeTitle;
  static const Font title;
  static const Font title2;
  static const Font title3;
  static const Font headline;
  static const Font subheadline;
  static const Font body;
  static const Font callout;
  static const Font footnote;
  static const Font caption;
  static const Font caption2;

  friend constexpr bool operator==(Font, Font) = default;
};

inline constexpr Font Font::largeTitle{Font::TextStyle::largeTitle};
inline constexpr Font Font::title{Font::TextStyle::title};
inline constexpr Font Font::title2{Font::TextStyle::title2};
inline constexpr Font Font::title3{Font::TextStyle::title3};
inline constexpr Font Font::headline{Font::TextStyle::headline};
inline constexpr Font Font::subheadline{Font::TextStyle::subheadline};
inline constexpr Font Font::body{Font::TextStyle::body};
inline constexpr Font Font::callout{Font::TextStyle::callout};
inline constexpr Font Font::footnote{Font::TextStyle::footnote};
inline constexpr Font Font::caption{Font::TextStyle::caption};
inline constexpr Font Font::caption2{Font::TextStyle::caption2};

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

// The style's size in points at the default text size.
constexpr double pointSize(Font::TextStyle style) {
  switch (style) {
    case Font::TextStyle::largeTitle: return 34;
    case Font::TextStyle::title: return 28;
    case Font::TextStyle::title2: return 22;
    case Font::TextStyle::title3: return 20;
    case Font::TextStyle::headline: return 17;
    case Font::TextStyle::subheadline: return 15;
    case Font::TextStyle::body: return 17;
    case Font::TextStyle::callout: return 16;
    case Font::TextStyle::footnote: return 13;
    case Font::TextStyle::caption: return 12;
    case Font::TextStyle::caption2: return 11;
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
