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
  return VStack(
             HorizontalAlignment::leading, 4.5,
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

}  // namespace
}  // namespace ui
