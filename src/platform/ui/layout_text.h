// Text layout: how a text fills the size proposed to it, as the platform's text view
// does. A text is set on one line per paragraph when no width is proposed; given a
// width it wraps at spaces (inside a word only when the word alone is too wide); given
// a height it keeps as many whole lines as fit, at least one, and ends the last kept
// line with "…" when text is left over. A line that does not fit even the ellipsis is
// left empty.
//
// Bytes that are not valid UTF-8 are shown as U+FFFD; "\r\n" and "\r" break lines as
// "\n" does. Texts longer than kMaxTextBytes are cut there first, and at most
// kMaxTextLines lines are set (the last one truncated): no surface can show that much,
// and it bounds the work for hostile input. Wrapping and truncation step
// over whole characters with their combining marks, joiners and variation selectors.
// Pure functions of their arguments and the measurer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/layout_geometry.h"
#include "platform/ui/text_measurer.h"

namespace ui {

inline constexpr std::size_t kMaxTextBytes = 8192;
inline constexpr std::size_t kMaxTextLines = 64;
inline constexpr std::string_view kEllipsis = "\u2026";

struct TextLine {
  std::string text;
  double width = 0;  // without trailing spaces, which hang past the line's end

  friend bool operator==(const TextLine&, const TextLine&) = default;
};

struct TextLayout {
  std::vector<TextLine> lines;
  FontMetrics metrics;
  bool truncated = false;

  // The widest line by the lines' total height.
  Size size() const;
};

// `text` made ready for measuring: valid UTF-8, line breaks as '\n', at most
// kMaxTextBytes long.
std::string sanitizedText(std::string_view text);

// The lines of `text` (already sanitized) in `font` for `proposal`.
TextLayout layOutText(std::string_view text, const ResolvedFont& font, ProposedSize proposal, TextMeasurer& measurer);

}  // namespace ui
