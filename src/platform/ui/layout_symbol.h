// Layout symbols: the symbol images this platform knows ("play.fill", "pause.fill",
// "metronome") and the box each takes at a font size. As the platform's symbols do, a
// symbol scales with the font in effect: its glyph is about as tall as the font's
// capitals, with a small margin around it that belongs to the image's frame.
#pragma once

#include <optional>
#include <string_view>

#include "platform/ui/layout_geometry.h"

namespace ui {

struct SymbolBox {
  Size frame;  // the image's size
  Rect glyph;  // where the shape is drawn, relative to the frame's origin
};

// The box of symbol `name` at a font of `pointSize` points; none for an unknown name.
std::optional<SymbolBox> symbolBox(std::string_view name, double pointSize);

}  // namespace ui
