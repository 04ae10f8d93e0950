// Tree JSON: the JSON form of a view tree, as the extension answers with it, the widget
// host shows it and tests compare it. tree_json_reader.h reads it back.
//
// Every view is an object:
//   "type"       "VStack", "HStack", "ZStack", "Spacer", "Text", "Image", "Button",
//                "Conditional", "Empty", "Color" or "Material"
//   parameters   VStack, HStack: "alignment", "spacing" (null: default spacing);
//                ZStack: "alignment"; Spacer: "minLength" (null: default);
//                Text: "text" (the string shown, after lookup and formatting), "key",
//                  "arguments" (integers and strings, in order), and when set on the
//                  text itself "tableName", "comment", "font", "fontWeight";
//                Image: "systemName", or "name" and "bundle" (the bundle's folder, null
//                  for the main bundle); "resizable": null or {"capInsets": {"top",
//                  "leading", "bottom", "trailing"}, "resizingMode"};
//                Conditional: "branch" (true or false);
//                Color: "color" (its name), "opacity"; Material: "material"
//   "children"   stacks, Button (its label) and Conditional (the chosen branch's views)
//   "modifiers"  always; in the order applied, each {"name": ..., arguments...}:
//                  font {"font"}, foregroundColor {"color", "opacity"},
//                  opacity {"opacity"}, padding {"edges": [edge names], "length"},
//                  frame {"minWidth", "idealWidth", "maxWidth", "minHeight",
//                  "idealHeight", "maxHeight", "alignment"},
//                  background {"alignment", "content": view},
//                  overlay {"ignoresSafeAreaEdges": [edge names], "content": view},
//                  aspectRatio {"ratio", "contentMode"}, buttonStyle {"style": "plain"}
// Absent optional numbers are null; infinite or NaN numbers, which JSON cannot hold,
// are the strings "infinity", "-infinity" and "nan". Bytes in strings that are not
// UTF-8 are written as U+FFFD, so the text is always valid JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/foundation/json_text_writer.h"
#include "platform/ui/localizer.h"
#include "platform/ui/view.h"

namespace ui {

// `localizer` fills the texts' "text"; the default shows keys with placeholders filled.

// Writes the tree as one JSON value into `out`: the way answers are made.
void writeJSON(foundation::JSONTextWriter& out, const View& view, const Localizer& localizer = {});
// The tree's JSON text on its own.
std::string toJSONText(const View& view, const Localizer& localizer = {});
// The tree as a JSON document to read from (the text above, parsed).
nlohmann::ordered_json toJSON(const View& view, const Localizer& localizer = {});

}  // namespace ui
