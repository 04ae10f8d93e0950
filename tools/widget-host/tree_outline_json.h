// Tree outline from JSON: the host's text form of a view tree, written from the tree's
// JSON form (the only form the host receives) in the same look as the view layer's
// ui::outline, so that the two read alike and compare equal for the same tree:
//
//   VStack(alignment: center) .padding(all) .foregroundColor(white) .background
//     Text "Kadenzo" [font: caption]
//     Image("background") [resizable] .aspectRatio(fill) .overlay(Material thin)
//     .background:
//       ZStack(alignment: center)
//
// One node per line, indented two spaces per level, its own attributes in brackets,
// its modifiers after it in the order applied; a modifier's view argument that fits
// on one line is written inside it, a larger one follows the children as a block
// headed ".background:" or ".overlay:". Texts are quoted with control characters
// escaped, so every node stays on its line.
//
// The JSON comes from another process, so nothing in it is trusted: an unknown node
// type or modifier is shown by its name, a missing or mistyped member is shown as "?"
// or left out, and nesting deeper than kMaxOutlineDepth is cut off with "...". It
// never throws on a tree's content.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

namespace host {

inline constexpr std::size_t kMaxOutlineDepth = 200;

// The outline of `view`, each line indented by `indent` more spaces and ended by '\n'.
std::string outlineFromJSON(const nlohmann::ordered_json& view, std::size_t indent = 0);

}  // namespace host
