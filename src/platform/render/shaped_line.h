// ShapedLine: one line of text itemized and shaped by pango in a context, without a
// PangoLayout, measured and drawn as a layout of that one line would measure and draw
// it: the same items, the same shaping (glyph positions rounded as the context rounds
// them), the runs in the same visual order.
//
// A PangoLayout works out its whole extents each time it lays out its lines, and so
// asks every font it uses for its metrics, which a font computes on first use by laying
// out a sample sentence; nothing here reads those metrics, and they were most of the
// cost of measuring a first picture. Texts a layout handles in ways of its own (tabs,
// line and paragraph separators) and text that is not UTF-8 are not shaped here: shape()
// gives none, and the caller uses a layout.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <optional>
#include <string>
#include <string_view>

namespace render {

class ShapedLine {
 public:
  static std::optional<ShapedLine> shape(PangoContext* context, std::string_view utf8,
                                         const PangoFontDescription* font);

  ShapedLine(ShapedLine&& other) noexcept;
  ShapedLine& operator=(ShapedLine&& other) noexcept;
  ShapedLine(const ShapedLine&) = delete;
  ShapedLine& operator=(const ShapedLine&) = delete;
  ~ShapedLine();

  // The sum of the glyphs' advances, in pango units: the line's logical width.
  int width() const;
  // How many glyphs no font could give (each would show as a box).
  int unknownGlyphs() const;
  // Draws the line with its baseline starting at (x, baseline) in user space, with the
  // source set on `cr`.
  void draw(cairo_t* cr, double x, double baseline) const;

 private:
  ShapedLine(std::string text, GList* runs) : text_(std::move(text)), runs_(runs) {}

  std::string text_;
  GList* runs_;  // of PangoGlyphItem, in visual order
};

}  // namespace render
