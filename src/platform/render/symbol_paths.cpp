#include "platform/render/symbol_paths.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace render {
namespace {

void roundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius) {
  radius = std::min({radius, width / 2, height / 2});
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + width - radius, y + radius, radius, -std::numbers::pi / 2, 0);
  cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, std::numbers::pi / 2);
  cairo_arc(cr, x + radius, y + height - radius, radius, std::numbers::pi / 2, std::numbers::pi);
  cairo_arc(cr, x + radius, y + radius, radius, std::numbers::pi, 3 * std::numbers::pi / 2);
  cairo_close_path(cr);
}

// A triangle pointing right; its corners rounded by stroking it with a round join
// after shrinking it by half the stroke.
void play(cairo_t* cr, const ui::Rect& g) {
  const double round = g.height * 0.16;
  const double inset = round / 2;
  cairo_save(cr);
  cairo_move_to(cr, g.x + inset, g.y + inset * 1.2);
  cairo_line_to(cr, g.maxX() - inset * 1.3, g.midY());
  cairo_line_to(cr, g.x + inset, g.maxY() - inset * 1.2);
  cairo_close_path(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr, round);
  cairo_fill_preserve(cr);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void pause(cairo_t* cr, const ui::Rect& g) {
  const double bar = g.width * 0.38;
  const double radius = g.height * 0.09;
  roundedRectangle(cr, g.x, g.y, bar, g.height, radius);
  roundedRectangle(cr, g.maxX() - bar, g.y, bar, g.height, radius);
  cairo_fill(cr);
}

// An outlined trapezoid on a base line, and an arm leaning right from the pivot near
// the base out through the top, with a small weight on it.
void metronome(cairo_t* cr, const ui::Rect& g) {
  const double line = std::max(0.5, g.height * 0.09);
  const double half = line / 2;
  const double top = g.y + g.height * 0.14 + half;
  const double bottom = g.maxY() - half;
  const double left = g.x + half;
  const double right = g.maxX() - half;
  const double topHalfWidth = (right - left) * 0.16;
  const double bottomHalfWidth = (right - left) / 2;
  cairo_save(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, line);
  // Body.
  cairo_move_to(cr, g.midX() - topHalfWidth, top);
  cairo_line_to(cr, g.midX() + topHalfWidth, top);
  cairo_line_to(cr, right, bottom);
  cairo_line_to(cr, left, bottom);
  cairo_close_path(cr);
  cairo_stroke(cr);
  // Base line, where the arm is fixed.
  const double pivotY = g.y + g.height * 0.76;
  const double halfWidthAtPivot =
      topHalfWidth + (bottomHalfWidth - topHalfWidth) * (pivotY - top) / (bottom - top) - line * 0.6;
  cairo_move_to(cr, g.midX() - halfWidthAtPivot, pivotY);
  cairo_line_to(cr, g.midX() + halfWidthAtPivot, pivotY);
  cairo_stroke(cr);
  // Arm, leaning right and out through the top.
  const double armEndX = g.midX() + (right - left) * 0.26;
  const double armEndY = g.y + half;
  cairo_move_to(cr, g.midX(), pivotY);
  cairo_line_to(cr, armEndX, armEndY);
  cairo_stroke(cr);
  // Weight on the arm.
  const double t = 0.6;
  cairo_arc(cr, g.midX() + (armEndX - g.midX()) * t, pivotY + (armEndY - pivotY) * t, line * 1.1, 0,
            2 * std::numbers::pi);
  cairo_fill(cr);
  cairo_restore(cr);
}

}  // namespace

bool drawSymbol(cairo_t* cr, std::string_view name, const ui::Rect& glyph) {
  if (name == "play.fill") {
    play(cr, glyph);
  } else if (name == "pause.fill") {
    pause(cr, glyph);
  } else if (name == "metronome") {
    metronome(cr, glyph);
  } else {
    return false;
  }
  return true;
}

}  // namespace render
