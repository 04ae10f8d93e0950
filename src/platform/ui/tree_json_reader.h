// Tree JSON reader: a view tree read back from its JSON form (tree_json.h), for a
// host that has only the protocol's answer and must lay the tree out and draw it.
//
// It is the inverse of toJSON: toJSON(fromJSON(toJSON(v, L)), L) == toJSON(v, L) for
// every tree v and localizer L. What JSON cannot carry is filled in: a Button's
// action is one that does nothing. A Text keeps its key, arguments, table, comment,
// font and weight, and also the string that was shown ("text"), through
// Text::showing(): laid out, it shows that string as it is, without looking its key
// up again.
//
// Strict: every member toJSON writes must be there with its type, and nothing else
// may be; names (types, modifiers, alignments, edges, colours, fonts, ...) must be
// known; opacities lie within 0...1; a Text's key must be made of its arguments'
// placeholders ("%lld", "%@", ...) and literal text with '%' doubled; a Button has
// exactly one child; views nest at most kMaxTreeDepth deep. The error names the JSON
// path of the faulty member ("$.children[2].modifiers[0].edges[1]").
#pragma once

#include <expected>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/ui/view.h"

namespace ui {

inline constexpr int kMaxTreeDepth = 512;

struct TreeJSONError {
  std::string path;     // "$" is the root view
  std::string message;  // what is wrong there

  // "<path>: <message>".
  std::string describe() const { return path + ": " + message; }
};

std::expected<View, TreeJSONError> fromJSON(const nlohmann::json& tree);
std::expected<View, TreeJSONError> fromJSON(const nlohmann::ordered_json& tree);

}  // namespace ui
