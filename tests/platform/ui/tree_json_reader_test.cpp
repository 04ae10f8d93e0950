#include "platform/ui/tree_json_reader.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/ui/layout.h"
#include "platform/ui/tree_json.h"

namespace ui {
namespace {

using Json = nlohmann::ordered_json;

// Every node kind and modifier, with the unusual values JSON must carry.
View everything() {
  const Text tempo = Text(LocalizedStringKey::interpolated({"", Arg::integer(120), " bpm, 100%"}))
                         .font(Font::largeTitle)
                         .fontWeight(Font::Weight::heavy);
  const Text named(LocalizedStringKey::interpolated({"\u00AB", Arg::string("Let it be"), "\u00BB "}), "Extra",
                   "shown under the tempo");
  return VStack(
             HorizontalAlignment::leading, 4.5,
             {
                 tempo,
                 named,
                 Text(LocalizedStringKey::interpolated({"", Arg::integer(7, "%1$lld"), "/", Arg::integer(-8), ""})),
                 Spacer(),
                 Spacer(12),
                 HStack(VerticalAlignment::bottom, std::nullopt,
                        {Image::systemName("play.fill"), Image("background", Bundle("/some/where.appex"))
                                                             .resizable(EdgeInsets{1, 2, 3, 4}, ResizingMode::tile)}),
                 ZStack(Alignment::bottomTrailing, {Color::cyan.opacity(0.25), Material::ultraThick}),
                 ifElse(false, {Text("on")}, {Text("off"), optionalView(std::nullopt)}),
                 Button([] {}, Text("Tap")).buttonStyle(PlainButtonStyle{}),
             })
      .padding()
      .padding(EdgeSet::top | EdgeSet::trailing, 3)
      .font(Font::caption2)
      .foregroundColor(Color::primary.opacity(0.75))
      .opacity(0.5)
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

TEST(TreeJSONReader, IsTheInverseOfToJSON) {
  const Json written = toJSON(everything());
  auto read = fromJSON(written);
  ASSERT_TRUE(read) << read.error().describe();
  EXPECT_EQ(toJSON(*read), written);

  // Both JSON flavours read alike, and a second trip changes nothing.
  auto plain = fromJSON(nlohmann::json::parse(written.dump()));
  ASSERT_TRUE(plain) << plain.error().describe();
  EXPECT_EQ(toJSON(*plain), written);
  EXPECT_EQ(toJSON(*fromJSON(toJSON(*plain))), written);
}

TEST(TreeJSONReader, TextsShowTheStringThatWasShown) {
  const Json tree = Json::parse(R"({"type": "Text", "text": "Hallo 120", "key": "Hello %lld", "arguments": [120],
                                    "modifiers": []})");
  auto read = fromJSON(tree);
  ASSERT_TRUE(read) << read.error().describe();
  const Text* text = read->as<Text>();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->key().key(), "Hello %lld");
  EXPECT_EQ(text->key().arguments(), (std::vector<FormatArgument>{std::int64_t{120}}));
  EXPECT_EQ(text->shown(), "Hallo 120");

  ApproximateTextMeasurer measurer;
  auto placed = layOutView(*read, {}, LayoutContext{measurer});
  ASSERT_TRUE(placed) << placed.error().describe();
  const auto& shown = std::get<PlacedText>(placed->content);
  EXPECT_EQ(shown.shown, "Hallo 120");
  EXPECT_EQ(shown.lines.at(0).text, "Hallo 120");
}

TEST(TreeJSONReader, RebuildsKeysFromTheirArguments) {
  const struct {
    std::string key;
    std::string arguments;
    bool valid;
  } cases[] = {
      {"%lld", "[3]", true},
      {"%lld/%lld", "[4, 4]", true},
      {"%@ ", "[\"Let it be\"]", true},
      {"100%% of %lld", "[9]", true},
      {"%1$lld and %@", "[1, \"two\"]", true},
      {"%1$lld and %2$@", "[1, \"two\"]", false},  // a string always enters a key as "%@"
      {"%05d|%-3ld|%.2lli|%x", "[1, 2, 3, 4]", true},
      {"a literal with %% but no values", "[]", true},
      {"%@", "[5]", false},                       // an integer where the key holds a string
      {"%lld", "[\"five\"]", false},              // and the other way round
      {"%lld %lld", "[1]", false},                // too few values
      {"%lld", "[1, 2]", false},                  // too many
      {"50% %lld", "[1]", false},                 // a lone '%' in literal text
      {"%lld", "[1.5]", false},                   // not an integer
      {"%lld", "[18446744073709551615]", false},  // past 64 bits
  };
  for (const auto& c : cases) {
    const Json tree = {{"type", "Text"},
                       {"text", "shown"},
                       {"key", c.key},
                       {"arguments", Json::parse(c.arguments)},
                       {"modifiers", Json::array()}};
    auto read = fromJSON(tree);
    EXPECT_EQ(read.has_value(), c.valid) << c.key << " " << c.arguments << (read ? "" : ": " + read.error().describe());
    if (read) {
      EXPECT_EQ(toJSON(*read)["key"], c.key) << c.key;
    }
  }
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
