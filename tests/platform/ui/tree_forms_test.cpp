// The view tree's JSON and outline forms: a tree with every node kind and modifier
// against its golden files, the reader as the writer's inverse, and its strictness.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <set>
#include <string>

#include "golden/golden.h"
#include "platform/ui/layout.h"
#include "platform/ui/tree_json.h"
#include "platform/ui/tree_json_reader.h"
#include "platform/ui/tree_outline.h"

namespace ui {
namespace {

using Json = nlohmann::ordered_json;

// Every node kind and modifier, with the unusual values JSON and the outline must carry.
View everything() {
  const Text tempo = Text(LocalizedStringKey::interpolated({"", Arg::integer(120), " bpm, 100%"}))
                         .font(Font::largeTitle)
                         .fontWeight(Font::Weight::heavy);
  const Text named(LocalizedStringKey::interpolated(
                       {"\u00AB", Arg::string("Let \"it\"\n\tbe\\\x01\x7F\u0085\u202E\u2029"), "\u00BB "}),
                   "Extra", "shown under the tempo");
  return VStack(HorizontalAlignment::leading, 4.5,
                {
                    tempo,
                    named,
                    Text(LocalizedStringKey::interpolated({"", Arg::integer(7, "%1$lld"), "/", Arg::integer(-8), ""}))
                        .opacity(0.5)
                        .font(Font::caption2),
                    Spacer(),
                    Spacer(12),
                    HStack(VerticalAlignment::bottom, std::nullopt,
                           {Image::systemName("play.fill").resizable(),
                            Image("background", Bundle("/some/where.appex"))
                                .resizable(EdgeInsets{1, 2.5, 3, 4}, ResizingMode::tile),
                            Image("plain").resizable({}, ResizingMode::tile)}),
                    ZStack(Alignment::bottomTrailing, {Color::cyan.opacity(0.5).opacity(0.5), Material::ultraThick}),
                    ifElse(false, {Text("on")}, {Text("off"), optionalView(std::nullopt)}),
                    ifElse(true, {}, {Text("never built")}),
                    Button([] {}, HStack({Text("Tap")}).font(Font::title).padding()).buttonStyle(PlainButtonStyle{}),
                    Text("A")
                        .background(View(Color::red).padding(2), Alignment::topLeading)
                        .overlay(VStack({Text("B"), Spacer()}).background(Material::thick), EdgeSet::horizontal)
                        .overlay(Material::thin, EdgeSet())
                        .padding(EdgeSet())
                        .frame({}),
                })
      .padding()
      .padding(EdgeSet::top | EdgeSet::trailing, 3)
      .font(Font::caption2)
      .foregroundColor(Color::primary.opacity(0.75))
      .opacity(1.5)
      .opacity(-1)
      .frame(FrameOptions{.minWidth = 0,
                          .idealWidth = 10,
                          .maxWidth = kInfinity,
                          .minHeight = std::numeric_limits<double>::quiet_NaN(),
                          .maxHeight = -kInfinity,
                          .alignment = Alignment::topTrailing})
      .aspectRatio(1.5, ContentMode::fit)
      .aspectRatio(std::nullopt, ContentMode::fill)
      .background(Image("background", std::nullopt).resizable(), Alignment::bottom)
      .overlay(Color::clear, EdgeSet::vertical);
}

TEST(TreeFormsGolden, EveryNodeAndModifierWrittenAndReadBack) {
  const Json written = toJSON(everything());
  tul::testing::expectGolden("tree-every-node.json", written.dump(2) + "\n");
  tul::testing::expectGolden("tree-every-node.txt", outline(everything()));
  // The reader is the writer's inverse, and the host's outline of the tree it read
  // back is the extension's.
  auto read = fromJSON(written);
  ASSERT_TRUE(read) << read.error().describe();
  EXPECT_EQ(toJSON(*read), written);
  EXPECT_EQ(outline(*read), outline(everything()));

  // A text read back shows the string the extension showed, not its key looked up here.
  auto text = fromJSON(Json::parse(R"({"type": "Text", "text": "Hallo 120", "key": "Hello %lld", "arguments": [120],
                                       "tableName": "Extra", "modifiers": []})"));
  ASSERT_TRUE(text) << text.error().describe();
  EXPECT_EQ(outline(*text), "Text \"Hallo 120\" [tableName: \"Extra\"]\n");
  EXPECT_EQ(toJSON(*text)["key"], "Hello %lld");
  ApproximateTextMeasurer measurer;
  auto placed = layOutView(*text, {}, LayoutContext{measurer});
  ASSERT_TRUE(placed) << placed.error().describe();
  EXPECT_EQ(std::get<PlacedText>(placed->content).lines.at(0).text, "Hallo 120");
}

TEST(TreeJSONReaderGolden, RejectsMalformedTreesNamingThePath) {
  std::string deep = R"({"type": "Empty", "modifiers": []})";
  for (int i = 0; i < kMaxTreeDepth; ++i) {
    deep = R"({"type": "ZStack", "alignment": "center", "children": [)" + deep + R"(], "modifiers": []})";
  }
  const std::string stack = R"("type": "VStack", "alignment": "center", "spacing": null, "modifiers": [])";
  const std::string empty = R"({"type": "Empty", "modifiers": []})";
  const std::string cases[] = {
      "[]",
      R"({"modifiers": []})",
      R"({"type": "Slider", "modifiers": []})",
      R"({"type": "Empty"})",
      R"({"type": "Empty", "modifiers": {}})",
      R"({"type": "Empty", "modifiers": [], "color": "red"})",
      "{" + stack + R"(, "children": [{"type": "Spacer", "minLength": "wide", "modifiers": []}]})",
      "{" + stack + R"(, "children": [)" + empty + "," + R"({"type": "Text", "modifiers": []}]})",
      R"({"type": "HStack", "alignment": "leading", "spacing": null, "children": [], "modifiers": []})",
      R"({"type": "Empty", "modifiers": [{"name": "blur", "radius": 3}]})",
      R"({"type": "Empty", "modifiers": [{"name": "opacity", "opacity": 2}]})",
      R"({"type": "Color", "color": "cyan", "opacity": "nan", "modifiers": []})",
      R"({"type": "Empty", "modifiers": [{"name": "padding", "edges": ["top", "top"], "length": null}]})",
      R"({"type": "Empty", "modifiers": [{"name": "padding", "edges": ["up"], "length": null}]})",
      R"({"type": "Empty", "modifiers": [{"name": "background", "alignment": "center", "content": 3}]})",
      R"({"type": "Button", "children": [], "modifiers": []})",
      R"({"type": "Conditional", "branch": "yes", "children": [], "modifiers": []})",
      R"({"type": "Image", "systemName": "play.fill", "resizable": {"capInsets": {}, "resizingMode": "stretch"},
           "modifiers": []})",
      R"({"type": "Text", "text": "x", "key": "%@", "arguments": [1], "modifiers": []})",
      R"({"type": "Text", "text": "x", "key": "%lld", "arguments": [18446744073709551615], "modifiers": []})",
      R"({"type": "Empty", "modifiers": [{"name": "buttonStyle", "style": "fancy"}]})",
      R"({"type": "Empty", "modifiers": [{"name": "frame", "alignment": "center"}]})",
      R"({"type": "Empty", "modifiers": [{"name": "font", "font": "body", "size": 3}]})",
      R"({"type": "Color", "color": "cyan", "opacity": 1, "alpha": 1, "modifiers": []})",
      R"({"type": "Image", "name": "a", "bundle": 3, "resizable": null, "modifiers": []})",
      deep,
  };
  // Each input (shortened when long) and the reader's error, path and message.
  std::string out;
  for (const std::string& json : cases) {
    auto read = fromJSON(nlohmann::json::parse(json));
    ASSERT_FALSE(read) << json;
    out += (json.size() < 120 ? json : json.substr(0, 60) + "...") + "\n  " + read.error().describe() + "\n";
  }
  tul::testing::expectGolden("tree-json-errors.txt", out);
}

// The walk reaches every view the JSON form writes, modifiers' views included (an
// image in a background is what the renderer looks for ahead of the layout).
TEST(ForEachView, VisitsEveryViewTheTreeWrites) {
  const View tree = everything();
  std::multiset<std::string> visited;
  forEachView(tree, [&](const View& view) { visited.emplace(typeName(view.node())); });
  const std::set<std::string> kinds = {"VStack", "HStack", "ZStack", "Spacer", "Text", "Image",
                                       "Button", "Conditional", "Empty", "Color", "Material"};
  std::multiset<std::string> written;
  const std::function<void(const Json&)> collect = [&](const Json& json) {
    if (json.is_object() && json.contains("type") && json["type"].is_string() &&
        kinds.contains(json["type"].get<std::string>())) {
      written.emplace(json["type"].get<std::string>());
    }
    if (json.is_structured()) {
      for (const Json& item : json) collect(item);
    }
  };
  collect(toJSON(tree));
  EXPECT_EQ(visited, written);
  EXPECT_EQ(visited.count("Image"), 4U);
}

}  // namespace
}  // namespace ui
