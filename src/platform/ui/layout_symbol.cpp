#include "platform/ui/layout_symbol.h"

#include <array>

namespace ui {
namespace {

struct SymbolShape {
  std::string_view name;
  double aspect;       // glyph width ÷ glyph height
  double heightScale;  // glyph height ÷ cap height
};

constexpr std::array<SymbolShape, 3> kSymbols = {{
    {"play.fill", 0.86, 1.0},
    {"pause.fill", 0.78, 1.0},
    {"metronome", 0.92, 1.1},
}};

// The cap height of the face the texts are set in, in ems.
constexpr double kCapHeight = 0.727;
constexpr double kHorizontalMargin = 0.09;  // ems on each side
constexpr double kVerticalMargin = 0.12;

}  // namespace

std::optional<SymbolBox> symbolBox(std::string_view name, double pointSize) {
  for (const SymbolShape& shape : kSymbols) {
    if (shape.name != name) continue;
    const double glyphHeight = pointSize * kCapHeight * shape.heightScale;
    const double glyphWidth = glyphHeight * shape.aspect;
    const double marginX = pointSize * kHorizontalMargin;
    const double marginY = pointSize * kVerticalMargin;
    return SymbolBox{Size{glyphWidth + 2 * marginX, glyphHeight + 2 * marginY},
                     Rect{marginX, marginY, glyphWidth, glyphHeight}};
  }
  return std::nullopt;
}

}  // namespace ui
