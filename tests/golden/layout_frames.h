// Layout frames as text, for golden files: one line per placed view with its kind, its
// frame (x,y width x height, in points), what it draws (a text with its font size/weight
// and colour@opacity, a symbol and its glyph box, a picture and its pixel size, a fill,
// a material) and each modifier's name and frame; children and the content of
// backgrounds and overlays are indented below it, after the lines a text is set on
// ("- " with each line's frame). Numbers have six significant digits.
#pragma once

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/ui/layout_problems.h"
#include "platform/ui/layout_result.h"
#include "platform/ui/tree_outline.h"

namespace tul::testing {

// A number as printf's "%g" writes it.
// Six significant digits; rounding residue (a mirrored 0 that is 1e-14) prints as 0.
inline std::string num(double value) {
  if (std::abs(value) < 1e-9) value = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}
inline std::string rectText(const ui::Rect& r) {
  return num(r.x) + "," + num(r.y) + " " + num(r.width) + "x" + num(r.height);
}
inline std::string colourText(const ui::Color& c) { return std::string(name(c.name())) + "@" + num(c.opacity()); }
inline std::string fontText(const ui::ResolvedFont& f) { return num(f.size) + "/" + std::to_string(f.weight); }
// "== <name>, offered <width> x <height>" ("nil" for a length not offered).
inline std::string heading(const std::string& name, ui::ProposedSize proposal) {
  const auto length = [](std::optional<double> value) { return value ? num(*value) : "nil"; };
  return "== " + name + ", offered " + length(proposal.width) + " x " + length(proposal.height) + "\n";
}

inline void writeFrames(std::string& out, const ui::PlacedView& view, std::size_t depth, const std::string& role = "") {
  out += std::string(2 * depth, ' ') + role + view.type + " " + rectText(view.frame);
  std::string lines;
  if (const auto* text = std::get_if<ui::PlacedText>(&view.content)) {
    out += " " + ui::outlineQuoted(text->shown) + " " + fontText(text->font) + " " + colourText(text->color);
    for (const ui::PlacedLine& line : text->lines) {
      lines +=
          std::string(2 * depth + 2, ' ') + "- " + ui::outlineQuoted(line.text) + " " + rectText(line.frame) + "\n";
    }
  } else if (const auto* symbol = std::get_if<ui::PlacedSymbol>(&view.content)) {
    out += " " + symbol->name + " " + fontText(symbol->font) + " glyph " + rectText(symbol->glyph);
  } else if (const auto* picture = std::get_if<ui::PlacedPicture>(&view.content)) {
    out += " " + picture->name + " " + num(picture->pixelSize.width) + "x" + num(picture->pixelSize.height);
  } else if (const auto* fill = std::get_if<ui::Color>(&view.content)) {
    out += " " + colourText(*fill);
  } else if (const auto* material = std::get_if<ui::Material>(&view.content)) {
    out += " " + std::string(name(*material));
  }
  for (const ui::PlacedModifier& modifier : view.modifiers) {
    out += " | " + modifier.name + " " + rectText(modifier.frame);
  }
  out += "\n" + lines;
  for (const ui::PlacedView& child : view.children) writeFrames(out, child, depth + 1);
  for (const ui::PlacedModifier& modifier : view.modifiers) {
    for (const ui::PlacedView& content : modifier.content) writeFrames(out, content, depth + 1, modifier.name + ": ");
  }
}

// A surface's layout: a heading with `what`, the surface and its size, then each
// region (its position, or "whole") with its area and views, then each of its layout
// problems after "! ".
inline void writeLayout(std::string& out, const std::string& what, const ui::LayoutResult& result) {
  out += "== " + what + ": " + std::string(name(result.surface)) + " " + num(result.size.width) + "x" +
         num(result.size.height) + "\n";
  for (const ui::PlacedRegion& region : result.regions) {
    out += std::string(region.position ? name(*region.position) : "whole") + " " + rectText(region.area) + "\n";
    writeFrames(out, region.view, 1);
  }
  for (const ui::LayoutProblem& problem : ui::layoutProblems(result)) {
    out += "! " + problem.path + ": " + problem.missing + "\n";
  }
}

}  // namespace tul::testing
