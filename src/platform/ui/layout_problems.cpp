#include "platform/ui/layout_problems.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/ui/layout_text.h"
#include "platform/ui/names.h"

namespace ui {
namespace {

// Overhangs smaller than this are rounding, not something a user sees.
constexpr double kTolerance = 0.5;

// The characters of `text` a reader counts: code points other than spaces.
std::size_t visibleCharacters(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80 && c != ' ' && c != '\n') ++count;
  }
  return count;
}

std::string points(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

// How far `frame` reaches past each edge of `bounds`, in words, or none.
std::optional<std::string> overhang(const Rect& frame, const Rect& bounds) {
  const struct {
    double by;
    const char* edge;
  } edges[] = {
      {bounds.minX() - frame.minX(), "left"},
      {frame.maxX() - bounds.maxX(), "right"},
      {bounds.minY() - frame.minY(), "top"},
      {frame.maxY() - bounds.maxY(), "bottom"},
  };
  std::string out;
  for (const auto& [by, edge] : edges) {
    if (!(by > kTolerance)) continue;
    out += (out.empty() ? "" : ", ") + points(by) + " points past the " + edge + " edge";
  }
  if (out.empty()) return std::nullopt;
  return "lies " + out + " of the surface";
}

void collect(const PlacedView& view, const std::string& region, const Rect& surface, std::vector<LayoutProblem>& out) {
  view.forEach([&](const PlacedView& inner) {
    const std::string path = region.empty() ? inner.path : region + " " + inner.path;
    const auto* text = std::get_if<PlacedText>(&inner.content);
    if (text != nullptr && text->truncated) {
      std::size_t shown = 0;
      for (const PlacedLine& line : text->lines) shown += visibleCharacters(line.text);
      if (shown > 0 && text->lines.back().text.ends_with(kEllipsis)) --shown;
      out.push_back(LayoutProblem{path, "cut short: shows " + std::to_string(shown) + " of " +
                                            std::to_string(visibleCharacters(text->shown)) + " characters"});
    }
    if (text != nullptr || std::holds_alternative<PlacedSymbol>(inner.content)) {
      if (auto outside = overhang(inner.frame, surface)) out.push_back(LayoutProblem{path, std::move(*outside)});
    }
  });
}

}  // namespace

std::vector<LayoutProblem> layoutProblems(const LayoutResult& result) {
  std::vector<LayoutProblem> out;
  const Rect surface{0, 0, result.size.width, result.size.height};
  for (const PlacedRegion& region : result.regions) {
    collect(region.view, region.position ? std::string(name(*region.position)) : std::string(), surface, out);
  }
  return out;
}

}  // namespace ui
