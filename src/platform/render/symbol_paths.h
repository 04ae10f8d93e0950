// Symbol paths: this host's drawings of the platform's symbol images ("play.fill", a
// right-pointing triangle with rounded corners; "pause.fill", two rounded bars;
// "metronome", an outlined pyramid body with its pendulum arm), filled with the
// current cairo source inside the glyph rectangle the layout gave (layout_symbol.h).
#pragma once

#include <cairo.h>

#include <string_view>

#include "platform/ui/layout_geometry.h"

namespace render {

// Draws symbol `name` into `glyph` with the source set on `cr`; false for a name it
// does not know (nothing is drawn).
bool drawSymbol(cairo_t* cr, std::string_view name, const ui::Rect& glyph);

}  // namespace render
