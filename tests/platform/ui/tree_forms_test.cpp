// The view tree's JSON and outline forms: a tree with every node kind and modifier
// against its golden files, the reader as the writer's inverse, and its strictness.
#include <gtest/gtest.h>

#include <limits>

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
  const Text named(LocalizedStringKey::interpolated({"\u00AB", Arg::string("Let \"it\"\n\tbe\\\x01\x7F"), "\u00BB "}),
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

TEST(TreeFormsGolden, EveryNodeAndModifier) {
  tul::testing::expectGolden("tree-every-node.json", toJSON(everything()).dump(2) + "\n");
  tul::testing::expectGolden("tree-every-node.txt", outline(everything()));
}

TEST(TreeJSONReader, IsTheInverseOfToJSONAndKeepsWhatWasShown) {
  const Json written = toJSON(everything());
  auto read = fromJSON(written);
  ASSERT_TRUE(read) << read.error().describe();
  EXPECT_EQ(toJSON(*read), written);
  EXPECT_EQ(outline(*read), outline(everything())) << "the host's outline of the tree it read back";

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

TEST(TreeJSONReader, RejectsMalformedTreesNamingThePath) {
  std::string deep = R"({"type": "Empty", "modifiers": []})";
  for (int i = 0; i < kMaxTreeDepth; ++i) {
    deep = R"({"type": "ZStack", "alignment": "center", "children": [)" + deep + R"(], "modifiers": []})";
  }
  const std::string stack = R"("type": "VStack", "alignment": "center", "spacing": null, "modifiers": [])";
  const std::string empty = R"({"type": "Empty", "modifiers": []})";
  const struct {
    std::string json;
    std::string path;
    std::string mentions;
  } cases[] = {
      {"[]", "$", "expected a view object"},
      {R"({"modifiers": []})", "$.type", "missing"},
      {R"({"type": "Slider", "modifiers": []})", "$.type", "unknown view type \"Slider\""},
      {R"({"type": "Empty"})", "$.modifiers", "missing"},
      {R"({"type": "Empty", "modifiers": {}})", "$.modifiers", "expected an array"},
      {R"({"type": "Empty", "modifiers": [], "color": "red"})", "$.color", "unexpected member"},
      {"{" + stack + R"(, "children": [{"type": "Spacer", "minLength": "wide", "modifiers": []}]})",
       "$.children[0].minLength", "expected a number"},
      {"{" + stack + R"(, "children": [)" + empty + "," + R"({"type": "Text", "modifiers": []}]})",
       "$.children[1].text", "missing"},
      {R"({"type": "HStack", "alignment": "leading", "spacing": null, "children": [], "modifiers": []})", "$.alignment",
       "unknown name \"leading\""},
      {R"({"type": "Empty", "modifiers": [{"name": "blur", "radius": 3}]})", "$.modifiers[0].name",
       "unknown modifier \"blur\""},
      {R"({"type": "Empty", "modifiers": [{"name": "opacity", "opacity": 2}]})", "$.modifiers[0].opacity",
       "within 0...1"},
      {R"({"type": "Color", "color": "cyan", "opacity": "nan", "modifiers": []})", "$.opacity", "within 0...1"},
      {R"({"type": "Empty", "modifiers": [{"name": "padding", "edges": ["top", "top"], "length": null}]})",
       "$.modifiers[0].edges[1]", "listed twice"},
      {R"({"type": "Empty", "modifiers": [{"name": "padding", "edges": ["up"], "length": null}]})",
       "$.modifiers[0].edges[0]", "unknown name \"up\""},
      {R"({"type": "Empty", "modifiers": [{"name": "background", "alignment": "center", "content": 3}]})",
       "$.modifiers[0].content", "expected a view object"},
      {R"({"type": "Button", "children": [], "modifiers": []})", "$.children", "exactly one child"},
      {R"({"type": "Conditional", "branch": "yes", "children": [], "modifiers": []})", "$.branch",
       "expected a boolean"},
      {R"({"type": "Image", "systemName": "play.fill", "resizable": {"capInsets": {}, "resizingMode": "stretch"},
           "modifiers": []})",
       "$.resizable.capInsets.top", "missing"},
      {R"({"type": "Text", "text": "x", "key": "%@", "arguments": [1], "modifiers": []})", "$.key",
       "not made of its 1 arguments"},
      {R"({"type": "Text", "text": "x", "key": "%lld", "arguments": [18446744073709551615], "modifiers": []})",
       "$.arguments[0]", "64-bit integer"},
      {R"({"type": "Empty", "modifiers": [{"name": "buttonStyle", "style": "fancy"}]})", "$.modifiers[0].style",
       "unknown button style \"fancy\" (expected plain)"},
      {R"({"type": "Empty", "modifiers": [{"name": "frame", "alignment": "center"}]})", "$.modifiers[0].minWidth",
       "missing"},
      {R"({"type": "Empty", "modifiers": [{"name": "font", "font": "body", "size": 3}]})", "$.modifiers[0].size",
       "unexpected member"},
      {R"({"type": "Color", "color": "cyan", "opacity": 1, "alpha": 1, "modifiers": []})", "$.alpha",
       "unexpected member"},
      {R"({"type": "Image", "name": "a", "bundle": 3, "resizable": null, "modifiers": []})", "$.bundle",
       "expected a bundle folder or null"},
      {deep,
       "$" +
           [] {
             std::string path;
             for (int i = 0; i < kMaxTreeDepth; ++i) path += ".children[0]";
             return path;
           }(),
       "deeper than 512"},
  };
  for (const auto& c : cases) {
    auto read = fromJSON(nlohmann::json::parse(c.json));
    ASSERT_FALSE(read) << c.json;
    EXPECT_EQ(read.error().path, c.path) << c.json.substr(0, 200);
    EXPECT_NE(read.error().message.find(c.mentions), std::string::npos) << read.error().describe();
  }
}

}  // namespace
}  // namespace ui
