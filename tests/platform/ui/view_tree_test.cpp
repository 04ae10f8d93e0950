#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/tree_json.h"
#include "platform/ui/tree_outline.h"
#include "platform/ui/view.h"

namespace ui {
namespace {

using Json = nlohmann::ordered_json;

const Image& playImage() {
  static std::once_flag once;
  static std::optional<Image> image;
  std::call_once(once, [] { image.emplace(Image::systemName("play.fill")); });
  return *image;
}

Text tempoText(std::int64_t bpm) {
  return Text(LocalizedStringKey::interpolated({"", Arg::integer(bpm), ""}))
      .font(Font::largeTitle)
      .fontWeight(Font::Weight::heavy);
}

// The home-screen widget's tree, built the way the widget's view builds it.
View homeWidget(bool isPlaylist, const std::string& name, std::int64_t bpm, const std::string& marking) {
  return VStack(HorizontalAlignment::center, std::nullopt,
                {
                    Text("Kadenzo").font(Font::caption),
                    Spacer(),
                    ifElse(isPlaylist && !name.empty(),
                           {tempoText(bpm), Text(LocalizedStringKey::interpolated({"", Arg::string(name), " "}))},
                           {tempoText(bpm), Text(LocalizedStringKey::interpolated({"", Arg::string(marking), ""}))}),
                    Spacer(),
                    playImage().font(Font::largeTitle),
                })
      .padding()
      .foregroundColor(Color::white)
      .frame({.maxWidth = kInfinity, .maxHeight = kInfinity})
      .background(ZStack(Alignment::center, {Image("background", std::nullopt)
                                                 .resizable()
                                                 .aspectRatio(std::nullopt, ContentMode::fill)
                                                 .overlay(Material::thin)
                                                 .overlay(Color::cyan.opacity(0.6))}),
                  Alignment::center);
}

TEST(ViewTree, OutlinesTheHomeWidget) {
  struct Case {
    const char* name;
    View view;
    std::string middle;
  };
  const std::vector<Case> cases = {
      {"playlist with a name", homeWidget(true, "Let it be", 120, "Allegro"),
       "  Conditional(branch: true)\n"
       "    Text \"120\" [font: largeTitle, fontWeight: heavy]\n"
       "    Text \"Let it be \"\n"},
      {"playlist without a name", homeWidget(true, "", 60, "Larghetto"),
       "  Conditional(branch: false)\n"
       "    Text \"60\" [font: largeTitle, fontWeight: heavy]\n"
       "    Text \"Larghetto\"\n"},
      {"not a playlist, negative tempo", homeWidget(false, "Song", -5, "Larghissimo"),
       "  Conditional(branch: false)\n"
       "    Text \"-5\" [font: largeTitle, fontWeight: heavy]\n"
       "    Text \"Larghissimo\"\n"},
      {"name with format characters", homeWidget(true, "100% \"%@\"", 0, "x"),
       "  Conditional(branch: true)\n"
       "    Text \"0\" [font: largeTitle, fontWeight: heavy]\n"
       "    Text \"100% \\\"%@\\\" \"\n"},
  };
  for (const auto& c : cases) {
    const std::string expected =
        "VStack(alignment: center) .padding(all) .foregroundColor(white) "
        ".frame(maxWidth: infinity, maxHeight: infinity) .background\n"
        "  Text \"Kadenzo\" [font: caption]\n"
        "  Spacer\n" +
        c.middle +
        "  Spacer\n"
        "  Image(systemName: \"play.fill\") .font(largeTitle)\n"
        "  .background:\n"
        "    ZStack(alignment: center)\n"
        "      Image(\"background\") [resizable] .aspectRatio(fill) .overlay(Material thin) "
        ".overlay(Color cyan.opacity(0.6))\n";
    EXPECT_EQ(outline(c.view), expected) << c.name;
  }
}

TEST(ViewTree, WritesEachNodeKindAsJson) {
  struct Case {
    const char* name;
    View view;
    const char* json;
  };
  const std::vector<Case> cases = {
      {"vstack", VStack({Spacer()}),
       R"({"type":"VStack","alignment":"center","spacing":null,"children":[
           {"type":"Spacer","minLength":null,"modifiers":[]}],"modifiers":[]})"},
      {"hstack with spacing", HStack(VerticalAlignment::top, 4.5, {}),
       R"({"type":"HStack","alignment":"top","spacing":4.5,"children":[],"modifiers":[]})"},
      {"zstack", ZStack(Alignment::bottomTrailing, {}),
       R"({"type":"ZStack","alignment":"bottomTrailing","children":[],"modifiers":[]})"},
      {"spacer with length", Spacer(10), R"({"type":"Spacer","minLength":10.0,"modifiers":[]})"},
      {"literal text", Text("Kadenzo"),
       R"({"type":"Text","text":"Kadenzo","key":"Kadenzo","arguments":[],"modifiers":[]})"},
      {"interpolated text with its own font and table",
       Text(LocalizedStringKey::interpolated({Arg::integer(3), "/", Arg::integer(4), " ", Arg::string("a")}), "Metre",
            "time signature")
           .font(Font::caption2)
           .fontWeight(Font::Weight::bold),
       R"({"type":"Text","text":"3/4 a","key":"%lld/%lld %@","arguments":[3,4,"a"],"tableName":"Metre",
           "comment":"time signature","font":"caption2","fontWeight":"bold","modifiers":[]})"},
      {"symbol image", Image::systemName("metronome"),
       R"({"type":"Image","systemName":"metronome","resizable":null,"modifiers":[]})"},
      {"asset image, tiled", Image("background").resizable({1, 2, 3, 4}, ResizingMode::tile),
       R"({"type":"Image","name":"background","bundle":null,"resizable":{
           "capInsets":{"top":1.0,"leading":2.0,"bottom":3.0,"trailing":4.0},"resizingMode":"tile"},
           "modifiers":[]})"},
      {"button", Button([] {}, Text("Go")).buttonStyle(PlainButtonStyle{}),
       R"({"type":"Button","children":[{"type":"Text","text":"Go","key":"Go","arguments":[],"modifiers":[]}],
           "modifiers":[{"name":"buttonStyle","style":"plain"}]})"},
      {"empty", optionalView(std::nullopt), R"({"type":"Empty","modifiers":[]})"},
      {"color", Color::cyan.opacity(0.5).opacity(0.5),
       R"({"type":"Color","color":"cyan","opacity":0.25,"modifiers":[]})"},
      {"material", Material::ultraThin, R"({"type":"Material","material":"ultraThin","modifiers":[]})"},
      {"every plain modifier, in order",
       Spacer()
           .opacity(1.5)
           .padding(EdgeSet::horizontal)
           .padding(EdgeSet::top | EdgeSet::leading, 3)
           .font(Font::title)
           .foregroundColor(Color::white)
           .frame({.minWidth = 1, .idealHeight = 2, .maxHeight = kInfinity, .alignment = Alignment::top})
           .aspectRatio(1.5, ContentMode::fit)
           .opacity(-1),
       R"({"type":"Spacer","minLength":null,"modifiers":[
           {"name":"opacity","opacity":1.0},
           {"name":"padding","edges":["leading","trailing"],"length":null},
           {"name":"padding","edges":["top","leading"],"length":3.0},
           {"name":"font","font":"title"},
           {"name":"foregroundColor","color":"white","opacity":1.0},
           {"name":"frame","minWidth":1.0,"idealWidth":null,"maxWidth":null,"minHeight":null,
            "idealHeight":2.0,"maxHeight":"infinity","alignment":"top"},
           {"name":"aspectRatio","ratio":1.5,"contentMode":"fit"},
           {"name":"opacity","opacity":0.0}]})"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(toJSON(c.view), Json::parse(c.json)) << c.name << "\n" << toJSON(c.view).dump(2);
  }
}

TEST(ViewTree, KeepsTextFontApartFromFontModifier) {
  // The product label: the text's own font, then an opacity modifier.
  const View label = Text("Kadenzo").font(Font::caption2).opacity(0.5);
  // The metre text: an opacity modifier, then a font modifier over it.
  const View metre =
      Text(LocalizedStringKey::interpolated({Arg::integer(4), "/", Arg::integer(4)})).opacity(0.5).font(Font::caption2);

  EXPECT_EQ(outline(label), "Text \"Kadenzo\" [font: caption2] .opacity(0.5)\n");
  EXPECT_EQ(outline(metre), "Text \"4/4\" .opacity(0.5) .font(caption2)\n");

  const Json labelJson = toJSON(label);
  EXPECT_EQ(labelJson["font"], "caption2");
  EXPECT_EQ(labelJson["modifiers"], Json::parse(R"([{"name":"opacity","opacity":0.5}])"));
  const Json metreJson = toJSON(metre);
  EXPECT_FALSE(metreJson.contains("font"));
  EXPECT_EQ(metreJson["modifiers"],
            Json::parse(R"([{"name":"opacity","opacity":0.5},{"name":"font","font":"caption2"}])"));

  ASSERT_NE(label.as<Text>(), nullptr);
  EXPECT_EQ(label.as<Text>()->font(), Font::caption2);
  EXPECT_EQ(metre.as<Text>()->font(), std::nullopt);
}

TEST(ViewTree, NestsBackgroundAndOverlayViews) {
  const View home = homeWidget(false, "", 120, "Allegro");
  const Json json = toJSON(home);
  std::vector<std::string> names;
  for (const auto& modifier : json["modifiers"]) names.push_back(modifier["name"]);
  EXPECT_EQ(names, (std::vector<std::string>{"padding", "foregroundColor", "frame", "background"}));

  const Json& background = json["modifiers"][3];
  EXPECT_EQ(background["alignment"], "center");
  const Json& picture = background["content"]["children"][0];
  EXPECT_EQ(picture["name"], "background");
  EXPECT_EQ(picture["resizable"], Json::parse(R"({"capInsets":{"top":0.0,"leading":0.0,"bottom":0.0,
      "trailing":0.0},"resizingMode":"stretch"})"));
  EXPECT_EQ(picture["modifiers"], Json::parse(R"([
      {"name":"aspectRatio","ratio":null,"contentMode":"fill"},
      {"name":"overlay","ignoresSafeAreaEdges":["top","leading","bottom","trailing"],
       "content":{"type":"Material","material":"thin","modifiers":[]}},
      {"name":"overlay","ignoresSafeAreaEdges":["top","leading","bottom","trailing"],
       "content":{"type":"Color","color":"cyan","opacity":0.6,"modifiers":[]}}])"));

  // A background that is itself modified, with an overlay holding a stack.
  const View layered = Text("A")
                           .background(View(Color::red).padding(2), Alignment::topLeading)
                           .overlay(VStack({Text("B"), Spacer()}).background(Material::thick), EdgeSet::horizontal);
  EXPECT_EQ(outline(layered),
            "Text \"A\" .background(Color red .padding(all, 2), alignment: topLeading) "
            ".overlay(ignoresSafeAreaEdges: horizontal)\n"
            "  .overlay:\n"
            "    VStack(alignment: center) .background(Material thick)\n"
            "      Text \"B\"\n"
            "      Spacer\n");
  const Json layeredJson = toJSON(layered);
  EXPECT_EQ(layeredJson["modifiers"][0]["content"]["modifiers"][0]["name"], "padding");
  EXPECT_EQ(layeredJson["modifiers"][1]["ignoresSafeAreaEdges"], Json::parse(R"(["leading","trailing"])"));
  EXPECT_EQ(layeredJson["modifiers"][1]["content"]["modifiers"][0]["content"]["material"], "thick");
}

TEST(ViewTree, RecordsConditionalAndOptionalContent) {
  struct Case {
    const char* name;
    View view;
    std::string outline;
  };
  const std::vector<Case> cases = {
      {"true branch with two views", ifElse(true, {Text("a"), Text("b")}, {Text("c")}),
       "Conditional(branch: true)\n  Text \"a\"\n  Text \"b\"\n"},
      {"false branch", ifElse(false, {Text("a"), Text("b")}, {Text("c")}),
       "Conditional(branch: false)\n  Text \"c\"\n"},
      {"empty branch", ifElse(false, {Text("a")}, {}), "Conditional(branch: false)\n"},
      {"present optional is the view itself", optionalView(Text("Free Beats").padding()),
       "Text \"Free Beats\" .padding(all)\n"},
      {"absent optional", optionalView(std::nullopt), "Empty\n"},
      {"nested", VStack({ifElse(true, {optionalView(std::nullopt)}, {})}),
       "VStack(alignment: center)\n  Conditional(branch: true)\n    Empty\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(outline(c.view), c.outline) << c.name;

  const View chosen = ifElse(false, {Text("a")}, {Text("c"), Spacer()});
  const Json json = toJSON(chosen);
  EXPECT_EQ(json["branch"], false);
  EXPECT_EQ(json["children"].size(), 2U);
  EXPECT_EQ(json["children"][0]["key"], "c");
}

TEST(ViewTree, ExposesNodesChildrenAndModifiersForReaders) {
  int taps = 0;
  const View lock = HStack({VStack({Image::systemName("metronome")}), Spacer(),
                            Button([&taps] { ++taps; }, HStack({playImage()}).font(Font::title).padding())
                                .buttonStyle(PlainButtonStyle{})})
                        .padding(EdgeSet::horizontal);

  EXPECT_EQ(typeName(lock.node()), "HStack");
  ASSERT_EQ(lock.children().size(), 3U);
  EXPECT_EQ(typeName(lock.children()[1].node()), "Spacer");
  ASSERT_EQ(lock.modifiers().size(), 1U);
  const auto* padding = std::get_if<PaddingModifier>(&lock.modifiers()[0]);
  ASSERT_NE(padding, nullptr);
  EXPECT_EQ(padding->edges, EdgeSet::horizontal);
  EXPECT_FALSE(padding->length.has_value());

  const View& button = lock.children()[2];
  const auto* node = button.as<nodes::Button>();
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(button.children().size(), 1U);
  EXPECT_EQ(&button.children()[0], &*node->label);
  EXPECT_EQ(name(button.modifiers()[0]), "buttonStyle");
  node->action();
  node->action();
  EXPECT_EQ(taps, 2);
  EXPECT_EQ(button.children()[0].children()[0].as<Image>()->sameInstance(playImage()), true);

  // Modifying a view leaves the original as it was.
  const View bare = Spacer();
  const View padded = bare.padding();
  EXPECT_TRUE(bare.modifiers().empty());
  EXPECT_EQ(padded.modifiers().size(), 1U);

  EXPECT_EQ(outline(lock),
            "HStack(alignment: center) .padding(horizontal)\n"
            "  VStack(alignment: center)\n"
            "    Image(systemName: \"metronome\")\n"
            "  Spacer\n"
            "  Button .buttonStyle(plain)\n"
            "    HStack(alignment: center) .font(title) .padding(all)\n"
            "      Image(systemName: \"play.fill\")\n");
}

TEST(ViewTree, FillsTextsThroughTheLocalizer) {
  const View view = VStack({Text("Kadenzo"), Text(LocalizedStringKey::interpolated({Arg::integer(120)}))});
  // Without a bundle: keys shown, placeholders filled.
  EXPECT_EQ(toJSON(view)["children"][1]["text"], "120");
  // With a bundle that has no tables, the same.
  const Localizer empty{Bundle("/nonexistent-ui-bundle"), "de"};
  EXPECT_EQ(outline(view, empty), "VStack(alignment: center)\n  Text \"Kadenzo\"\n  Text \"120\"\n");
}

TEST(Image, CopiesShareOneInstance) {
  const Image original = Image::systemName("pause.fill");
  const Image copy = original;  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_TRUE(copy.sameInstance(original));

  // A copy placed in a tree, and copied with the tree, is still the same instance.
  const View tree = VStack({original.font(Font::title)});
  const View treeCopy = tree;
  EXPECT_TRUE(treeCopy.children()[0].as<Image>()->sameInstance(original));

  // Another image with the same content is equal but not the same instance.
  const Image twin = Image::systemName("pause.fill");
  EXPECT_EQ(twin, original);
  EXPECT_FALSE(twin.sameInstance(original));
  const Image resized = original.resizable();
  EXPECT_FALSE(resized.sameInstance(original));
  EXPECT_NE(resized, original);
  EXPECT_FALSE(original.resizing().has_value());
  EXPECT_NE(Image("a"), Image("a", Bundle("/elsewhere")));

  // Built once under a once-only guard, every thread sees the same image.
  std::vector<std::thread> threads;
  std::vector<const Image*> seen(8);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &playImage(); });
  }
  for (auto& thread : threads) thread.join();
  for (const Image* image : seen) EXPECT_TRUE(image->sameInstance(playImage()));
}

}  // namespace
}  // namespace ui
