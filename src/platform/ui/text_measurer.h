// TextMeasurer: how the layout learns the size of text, without knowing how text is
// drawn. The layout asks for a font's line metrics and for the advance width of one
// line of text; it wraps and truncates lines itself (see layout_text.h), so every
// measurer gets the same line breaking.
//
// A real measurer (the drawing target's, backed by pango and the face "Inter") keeps
// the layout free of any font library; ApproximateTextMeasurer gives plausible widths
// from fixed per-character advances, for tests that do not need real fonts.
//
// Measurers may keep caches: one instance is used by one thread at a time.
#pragma once

#include <string_view>

namespace ui {

// The font a text is measured and drawn in once the view's environment is applied:
// a size in points and a weight on the 100 (thin) ... 900 (black) scale.
struct ResolvedFont {
  double size = 17;
  int weight = 400;

  friend constexpr bool operator==(const ResolvedFont&, const ResolvedFont&) = default;
};

// Vertical metrics of a font, in points: a line's box is ascent + descent high, with
// its baseline `ascent` below its top.
struct FontMetrics {
  double ascent = 0;
  double descent = 0;

  constexpr double lineHeight() const { return ascent + descent; }
};

class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;

  virtual FontMetrics metrics(const ResolvedFont& font) = 0;
  // The advance width of `utf8` set on one line (it holds no line break and is valid
  // UTF-8; the layout makes sure of both).
  virtual double width(std::string_view utf8, const ResolvedFont& font) = 0;
};

// Fixed advances per character class, close to a sans-serif face's: narrow for
// spaces and punctuation, wider for capitals and digits, a little wider for heavier
// weights. Deterministic and cheap; any thread may use its own instance.
class ApproximateTextMeasurer final : public TextMeasurer {
 public:
  FontMetrics metrics(const ResolvedFont& font) override;
  double width(std::string_view utf8, const ResolvedFont& font) override;
};

}  // namespace ui
