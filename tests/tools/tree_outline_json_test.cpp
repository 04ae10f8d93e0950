#include "tree_outline_json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "activity/metronome_activity_view.h"
#include "platform/ui/tree_json.h"
#include "platform/ui/tree_outline.h"
#include "platform/ui/view.h"
#include "preset/mini_melody.h"
#include "widget/tul_widget_entry_view.h"

namespace host {
namespace {

using Json = nlohmann::ordered_json;
using namespace ui;

// The host sees a tree only as JSON text from another process.
Json overTheWire(const View& view) { return Json::parse(toJSON(view).dump()); }

tul::SimpleEntry entryWith(bool isPlaylingList, std::string name, std::int64_t bpm) {
  tul::MiniMelody melody = tul::MiniMelody::defaultMelody();
  melody.isPlaylingList = isPlaylingList;
  melody.name = std::move(name);
  melody.bpm = bpm;
  return tul::SimpleEntry{foundation::Date::now(), melody};
}

TEST(TreeOutlineJSON, ReadsLikeTheViewLayersOutline) {
  using State = tul::TulWidgetAttributes::ContentState;
  const auto lockScreen = [](State state) {
    return tul::MetronomeActivityView{{tul::TulWidgetAttributes{"Practice"}, std::move(state)}}.body();
  };
  struct Case {
    const char* name;
    View view;
  };
  const std::vector<Case> cases = {
      {"home widget, default preset", tul::TulWidgetEntryView{entryWith(false, "Let it be", 120)}.body()},
      {"home widget, playlist entry", tul::TulWidgetEntryView{entryWith(true, "Evening \"set\"", 72)}.body()},
      {"lock screen, playing", lockScreen({120, 3, 4, "Waltz", true, false})},
      {"lock screen, automated", lockScreen({-7, -3, 0, std::nullopt, false, true})},
      {"stacks with spacing and alignment",
       VStack(HorizontalAlignment::leading, 4.5,
              {HStack(VerticalAlignment::bottom, 0, {Spacer(12), Spacer()}), ZStack(Alignment::topTrailing, {})})},
      {"texts with their own attributes and escapes",
       VStack({Text("a\"b\\c\n\t\r\x01\x7F", std::string("Other")).font(Font::title2).fontWeight(Font::Weight::bold),
               Text("").fontWeight(Font::Weight::ultraLight)})},
      {"images", HStack({Image("pic", Bundle("/some/bundle")).resizable({1, 2.5, 3, 4}, ResizingMode::tile),
                         Image("plain").resizable({0, 0, 0, 0}, ResizingMode::tile),
                         Image::systemName("metronome").resizable()})},
      {"padding, frame and aspect ratio",
       Text("x")
           .padding(EdgeSet::top | EdgeSet::leading, 3)
           .padding(EdgeSet::vertical)
           .padding(EdgeSet())
           .padding(EdgeSet::trailing, 0.25)
           .frame({.minWidth = 1, .idealWidth = 2, .maxHeight = kInfinity, .alignment = Alignment::bottomLeading})
           .frame({})
           .aspectRatio(1.5, ContentMode::fit)
           .opacity(0.3)},
      {"colours and materials", VStack({View(Color::red.opacity(0.25)), View(Material::ultraThick)})
                                    .foregroundColor(Color::primary.opacity(0.5))
                                    .foregroundColor(Color::white)},
      {"one-line and block arguments",
       Text("A")
           .background(View(Color::red).padding(2), Alignment::topLeading)
           .overlay(VStack({Text("B"), Spacer()}).background(Material::thick), EdgeSet::horizontal)
           .background(Text("C").overlay(HStack({Text("D")})))
           .overlay(Material::thin, EdgeSet())},
      {"conditional, optional and button content",
       VStack({ifElse(true, {optionalView(std::nullopt)}, {}), ifElse(false, {Text("a")}, {}),
               Button([] {}, Text("tap")).buttonStyle(PlainButtonStyle{}), optionalView(Text("shown").padding())})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(outlineFromJSON(overTheWire(c.view)), outline(c.view)) << c.name;
  }
}

TEST(TreeOutlineJSON, IndentsEveryLine) {
  const View view = VStack({Text("a")}).background(VStack({Text("b")}));
  EXPECT_EQ(outlineFromJSON(overTheWire(view), 4),
            "    VStack(alignment: center) .background\n"
            "      Text \"a\"\n"
            "      .background:\n"
            "        VStack(alignment: center)\n"
            "          Text \"b\"\n");
}

TEST(TreeOutlineJSON, ShowsWhatItCannotReadWithoutFailing) {
  struct Case {
    const char* name;
    std::string json;
    std::string outline;
  };
  const std::vector<Case> cases = {
      {"not an object", "42", "? (not a view: 42)\n"},
      {"no type", "{}", "?\n"},
      {"unknown node and modifier", R"({"type":"Hologram","modifiers":[{"name":"shimmer","x":1}]})",
       "Hologram .shimmer\n"},
      {"members of the wrong type", R"({"type":"VStack","alignment":3,"spacing":"wide","children":"none"})",
       "VStack(alignment: ?, spacing: wide)\n"},
      {"text without its string", R"({"type":"Text","font":"body"})", "Text \"?\" [font: body]\n"},
      {"modifier content that is not a view", R"({"type":"Spacer","modifiers":[{"name":"background","content":7}]})",
       "Spacer .background(? (not a view: 7))\n"},
      {"modifier without content", R"({"type":"Spacer","modifiers":[{"name":"overlay"}]})",
       "Spacer .overlay(ignoresSafeAreaEdges: none)\n"},
      {"child that is not a view", R"({"type":"ZStack","alignment":"center","children":[null]})",
       "ZStack(alignment: center)\n  ? (not a view: null)\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(outlineFromJSON(Json::parse(c.json)), c.outline) << c.name;

  // Nesting far deeper than any real tree is cut off, not followed to the bottom.
  Json deep = Json::parse(R"({"type":"Empty"})");
  for (int i = 0; i < 1000; ++i) {
    Json parent = {{"type", "VStack"}, {"alignment", "center"}, {"children", Json::array()}};
    parent["children"].push_back(std::move(deep));
    deep = std::move(parent);
  }
  const std::string shown = outlineFromJSON(deep);
  EXPECT_NE(shown.find("...\n"), std::string::npos);
  EXPECT_EQ(shown.find("Empty"), std::string::npos);
}

}  // namespace
}  // namespace host
