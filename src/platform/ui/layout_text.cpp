#include "platform/ui/layout_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace ui {
namespace {

constexpr std::string_view kReplacement = "\uFFFD";
// No line on any surface holds this many bytes of text.
constexpr std::size_t kLongestLineBytes = 1024;

// The length of the well-formed UTF-8 sequence at `i`, or 0 when there is none.
std::size_t sequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return length;
}

char32_t decodeAt(std::string_view text, std::size_t i, std::size_t length) {
  const auto lead = static_cast<std::uint8_t>(text[i]);
  char32_t c = length == 1 ? lead : static_cast<char32_t>(lead & (0x7F >> length));
  for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<std::uint8_t>(text[i + k]) & 0x3FU);
  return c;
}

// Code points that belong to the character before them.
bool extendsPrevious(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
         (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F) ||
         (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F) || (c >= 0xE0100 && c <= 0xE01EF) ||
         c == 0x200D;
}

// The byte offsets where characters start in valid UTF-8 `text`, and its end.
std::vector<std::size_t> characterBoundaries(std::string_view text) {
  std::vector<std::size_t> bounds;
  bool joinNext = false;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = std::max<std::size_t>(1, sequenceLength(text, i));
    const char32_t c = decodeAt(text, i, length);
    if (bounds.empty() || !(extendsPrevious(c) || joinNext)) bounds.push_back(i);
    joinNext = c == 0x200D;
    i += length;
  }
  bounds.push_back(text.size());
  return bounds;
}

std::string_view trimmedRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

class Wrapper {
 public:
  Wrapper(const ResolvedFont& font, TextMeasurer& measurer) : font_(font), measurer_(measurer) {}

  double width(std::string_view text) { return measurer_.width(trimmedRight(text), font_); }

  // The longest prefix of `text` whose width (with `suffix`) is at most `limit`,
  // cut at a character boundary; `atLeastOne` keeps one character even if too wide.
  // Probes 1, 2, 4, ... characters before halving the gap, so the cost follows the
  // length of the prefix found, not of the text.
  std::size_t fittingPrefix(std::string_view text, std::string_view suffix, double limit, bool atLeastOne) {
    const std::vector<std::size_t> bounds = characterBoundaries(text);
    const std::size_t last = bounds.size() - 1;
    const auto fits = [&](std::size_t index) {
      std::string candidate(trimmedRight(text.substr(0, bounds[index])));
      candidate += suffix;
      return measurer_.width(candidate, font_) <= limit;
    };
    std::size_t good = 0;        // bounds[good] fits
    std::size_t bad = last + 1;  // no index from here on fits
    for (std::size_t probe = 1; probe <= last; probe *= 2) {
      if (!fits(probe)) {
        bad = probe;
        break;
      }
      good = probe;
    }
    while (bad - good > 1) {
      const std::size_t middle = good + (bad - good) / 2;
      if (fits(middle)) {
        good = middle;
      } else {
        bad = middle;
      }
    }
    if (good == 0 && atLeastOne && last > 0) return bounds[1];
    return bounds[good];
  }

  // Lines of one paragraph at most `limit` wide, appending to `out` until it holds
  // `maxLines` lines; returns the offset in `paragraph` where wrapping stopped, and
  // sets `lastStart` to where the last line added begins.
  std::size_t wrap(std::string_view paragraph, double limit, std::size_t maxLines, std::vector<TextLine>& out,
                   std::size_t& lastStart) {
    std::size_t start = 0;
    while (out.size() < maxLines) {
      lastStart = start;
      const std::string_view rest = paragraph.substr(start);
      // Take words while they fit; a space ends a word. A run longer than any line
      // could be is not measured whole: it is broken inside below.
      std::size_t end = 0;
      bool all = rest.empty();
      for (std::size_t cursor = 0; cursor < rest.size();) {
        std::size_t next = rest.find(' ', cursor);
        if (next == std::string_view::npos) next = rest.size();
        if (next > kLongestLineBytes || width(rest.substr(0, next)) > limit) break;
        end = next;
        if (next == rest.size()) {
          all = true;
          break;
        }
        cursor = next + 1;
      }
      if (all) {
        out.push_back(TextLine{std::string(rest), width(rest)});
        return paragraph.size();
      }
      if (trimmedRight(rest.substr(0, end)).empty()) {
        // The first word alone is too wide: break inside it.
        end = fittingPrefix(rest, "", limit, true);
      }
      std::size_t resume = end;
      while (resume < rest.size() && rest[resume] == ' ') ++resume;  // spaces hang at the break
      const std::string_view line = rest.substr(0, end);
      out.push_back(TextLine{std::string(line), width(line)});
      start += resume;
      if (start >= paragraph.size()) return paragraph.size();
    }
    return start;
  }

  // `rest` set on one line no wider than `limit`, ending in the ellipsis.
  TextLine truncated(std::string rest, double limit) {
    std::ranges::replace(rest, '\n', ' ');
    const std::size_t keep = fittingPrefix(rest, kEllipsis, limit, false);
    std::string line(trimmedRight(std::string_view(rest).substr(0, keep)));
    line += kEllipsis;
    const double lineWidth = measurer_.width(line, font_);
    if (lineWidth > limit) return TextLine{"", 0};
    return TextLine{std::move(line), lineWidth};
  }

 private:
  ResolvedFont font_;
  TextMeasurer& measurer_;
};

std::vector<std::string_view> paragraphs(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      out.push_back(text.substr(start));
      return out;
    }
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

Size TextLayout::size() const {
  double widest = 0;
  for (const TextLine& line : lines) widest = std::max(widest, line.width);
  return Size{widest, static_cast<double>(lines.size()) * metrics.lineHeight()};
}

std::string sanitizedText(std::string_view text) {
  std::string out;
  out.reserve(std::min(text.size(), kMaxTextBytes));
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = sequenceLength(text, i);
    std::string_view piece;
    std::size_t step = length;
    if (length == 0) {
      piece = kReplacement;
      step = 1;
    } else if (text[i] == '\r') {
      piece = "\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') step = 2;
    } else {
      piece = text.substr(i, length);
    }
    if (out.size() + piece.size() > kMaxTextBytes) break;
    out += piece;
    i += step;
  }
  return out;
}

TextLayout layOutText(std::string_view text, const ResolvedFont& font, ProposedSize proposal, TextMeasurer& measurer) {
  TextLayout layout;
  layout.metrics = measurer.metrics(font);
  Wrapper wrapper(font, measurer);
  const double lineHeight = layout.metrics.lineHeight();

  std::size_t maxLines = SIZE_MAX;
  if (proposal.height && std::isfinite(*proposal.height) && lineHeight > 0) {
    const double fitting = std::floor(std::max(0.0, *proposal.height) / lineHeight + 1e-9);
    maxLines = fitting < 1 ? 1 : static_cast<std::size_t>(std::min(fitting, 1e6));
  }
  maxLines = std::min(maxLines, kMaxTextLines);
  const bool wraps = proposal.width && std::isfinite(*proposal.width);
  const double limit = wraps ? std::max(0.0, *proposal.width) : 0;

  const std::vector<std::string_view> parts = paragraphs(text);
  for (std::size_t p = 0; p < parts.size(); ++p) {
    // Every paragraph adds at least one line, and wrapping stops once maxLines are
    // there, so this paragraph holds the last line whenever text is left over.
    const std::string_view paragraph = parts[p];
    std::size_t stoppedAt = paragraph.size();
    std::size_t lastStart = 0;
    if (wraps) {
      stoppedAt = wrapper.wrap(paragraph, limit, maxLines, layout.lines, lastStart);
    } else {
      layout.lines.push_back(TextLine{std::string(paragraph), wrapper.width(paragraph)});
    }
    const bool moreText = stoppedAt < paragraph.size() || p + 1 < parts.size();
    if (layout.lines.size() >= maxLines && moreText) {
      // Text is left over: the last kept line takes it and ends in the ellipsis.
      std::string rest(paragraph.substr(lastStart));
      for (std::size_t q = p + 1; q < parts.size(); ++q) {
        rest += ' ';
        rest += parts[q];
      }
      const double lastLimit = wraps ? limit : wrapper.width(layout.lines.back().text);
      layout.lines.back() = wrapper.truncated(std::move(rest), lastLimit);
      layout.truncated = true;
      break;
    }
  }
  return layout;
}

}  // namespace ui
