// Layout's rules, case by case: where each view lands for a proposal, measured with the
// approximate text measurer (lower case 5.5 points wide at 10 points, lines 12.1 high).
#include "platform/ui/layout.h"

#include <gtest/gtest.h>

#include "platform/ui/layout_symbol.h"
#include "platform/ui/layout_text.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace ui {
namespace {

constexpr double kTolerance = 1e-6;

void expectRect(const Rect& actual, const Rect& expected, const std::string& where) {
  EXPECT_NEAR(actual.x, expected.x, kTolerance) << where;
  EXPECT_NEAR(actual.y, expected.y, kTolerance) << where;
  EXPECT_NEAR(actual.width, expected.width, kTolerance) << where;
  EXPECT_NEAR(actual.height, expected.height, kTolerance) << where;
}

// A view of exactly width × height, whatever it is offered.
View fixed(double width, double height) {
  return View(Color::red)
      .frame(FrameOptions{.minWidth = width, .maxWidth = width, .minHeight = height, .maxHeight = height});
}

// The start of a PNG file: signature and header chunk, all the layout reads.
std::string pngHeader(std::uint32_t width, std::uint32_t height) {
  std::string bytes = "\x89PNG\r\n\x1a\n";
  bytes += std::string("\0\0\0\x0dIHDR", 8);
  for (std::uint32_t value : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xFF);
  }
  return bytes + std::string("\x08\x06\0\0\0", 5);
}

PlacedView place(const View& view, ProposedSize proposal) {
  ApproximateTextMeasurer measurer;
  auto placed = layOutView(view, proposal, LayoutContext{measurer});
  if (!placed) ADD_FAILURE() << placed.error().describe();
  return placed ? *placed : PlacedView{};
}

TEST(Layout, StacksShareSpaceLeastFlexibleFirstWithTheirSpacing) {
  const struct {
    std::string name;
    View view;
    ProposedSize proposal;
    std::vector<Rect> children;
  } cases[] = {
      {"spacer takes what fixed views leave",
       VStack({fixed(40, 30), Spacer(), fixed(20, 50)}),
       {100, 200},
       {{0, 0, 40, 30}, {20, 30, 0, 120}, {10, 150, 20, 50}}},
      {"side by side, centred across",
       HStack({fixed(30, 10), fixed(30, 20)}),
       {200, 100},
       {{0, 5, 30, 10}, {38, 0, 30, 20}}},
      {"flexible colours split the rest evenly",
       HStack({Color::red, fixed(30, 10), Color::blue}),
       {200, 50},
       {{0, 0, 77, 50}, {85, 20, 30, 10}, {123, 0, 77, 50}}},
      {"two spacers split evenly around a fixed view",
       VStack({Spacer(), fixed(10, 20), Spacer()}),
       {50, 100},
       {{5, 0, 0, 40}, {0, 40, 10, 20}, {5, 60, 0, 40}}},
      {"an infinite frame is as flexible as a spacer",
       HStack({fixed(10, 10), View(Color::blue).frame(FrameOptions{.maxWidth = kInfinity}), Spacer()}),
       {118, 10},
       {{0, 0, 10, 10}, {18, 0, 50, 10}, {68, 5, 50, 0}}},
      {"leading alignment",
       VStack(HorizontalAlignment::leading, std::nullopt, {fixed(40, 10), fixed(10, 10)}),
       {100, 100},
       {{0, 0, 40, 10}, {0, 18, 10, 10}}},
      {"bottom alignment",
       HStack(VerticalAlignment::bottom, std::nullopt, {fixed(10, 40), fixed(10, 10)}),
       {100, 100},
       {{0, 0, 10, 40}, {18, 30, 10, 10}}},
      {"overlapping, top leading",
       ZStack(Alignment::topLeading, {fixed(40, 30), fixed(20, 10)}),
       {100, 100},
       {{0, 0, 40, 30}, {0, 0, 20, 10}}},
      {"overlapping, centred", ZStack({fixed(40, 30), fixed(20, 10)}), {100, 100}, {{0, 0, 40, 30}, {10, 10, 20, 10}}},
      {"explicit spacing",
       VStack(HorizontalAlignment::center, 4, {fixed(10, 10), fixed(10, 10)}),
       {},
       {{0, 0, 10, 10}, {0, 14, 10, 10}}},
      {"no spacing next to a spacer, which keeps its minimum",
       VStack({fixed(10, 10), Spacer(), fixed(10, 10)}),
       {},
       {{0, 0, 10, 10}, {5, 10, 0, 8}, {0, 18, 10, 10}}},
      {"a spacer's own minimum",
       HStack({fixed(10, 10), Spacer(20), fixed(10, 10)}),
       {},
       {{0, 0, 10, 10}, {10, 5, 20, 0}, {30, 0, 10, 10}}},
  };
  for (const auto& c : cases) {
    const PlacedView placed = place(c.view, c.proposal);
    ASSERT_EQ(placed.children.size(), c.children.size()) << c.name;
    for (std::size_t i = 0; i < c.children.size(); ++i) {
      expectRect(placed.children[i].outerFrame(), c.children[i], c.name + ", child " + std::to_string(i));
    }
  }
}

TEST(Layout, ModifiersPadClampAndKeepRatios) {
  tul::testing::TempFolder folder;
  tul::testing::writeFile(folder.path() / "Test.appex/Resources/wide.png", pngHeader(200, 100));
  const Image wide("wide", Bundle(folder.path() / "Test.appex"));
  const auto framed = [](FrameOptions options) { return fixed(20, 10).frame(options); };
  const struct {
    std::string name;
    View view;
    ProposedSize proposal;
    Size size;   // the whole view's
    Rect frame;  // its node's
  } cases[] = {
      {"default padding is 16 on every edge", fixed(10, 10).padding(), {}, {42, 42}, {16, 16, 10, 10}},
      {"padding on some edges", fixed(10, 10).padding(EdgeSet::horizontal, 5), {}, {20, 10}, {5, 0, 10, 10}},
      {"padding given a length", fixed(10, 10).padding(3), {}, {16, 16}, {3, 3, 10, 10}},
      {"infinite maximum takes the offer",
       framed({.maxWidth = kInfinity, .maxHeight = kInfinity}),
       {100, 80},
       {100, 80},
       {40, 35, 20, 10}},
      {"aligned top leading",
       framed({.maxWidth = kInfinity, .maxHeight = kInfinity, .alignment = Alignment::topLeading}),
       {100, 80},
       {100, 80},
       {0, 0, 20, 10}},
      {"aligned bottom trailing",
       framed({.maxWidth = kInfinity, .maxHeight = kInfinity, .alignment = Alignment::bottomTrailing}),
       {100, 80},
       {100, 80},
       {80, 70, 20, 10}},
      {"minimum wins over a smaller offer", framed({.minWidth = 50}), {30, 30}, {50, 10}, {15, 0, 20, 10}},
      {"maximum below the view's size", framed({.maxWidth = 10}), {100, 100}, {10, 10}, {-5, 0, 20, 10}},
      {"ideal sizes when nothing is offered",
       framed({.idealWidth = 60, .idealHeight = 40}),
       {},
       {60, 40},
       {20, 15, 20, 10}},
      {"offer clamped into the range", framed({.minWidth = 50, .maxWidth = 70}), {100, 100}, {70, 10}, {25, 0, 20, 10}},
      {"aspect fill covers the offer",
       wide.resizable().aspectRatio(std::nullopt, ContentMode::fill),
       {100, 100},
       {200, 100},
       {0, 0, 200, 100}},
      {"aspect fit stays inside it",
       wide.resizable().aspectRatio(std::nullopt, ContentMode::fit),
       {100, 100},
       {100, 50},
       {0, 0, 100, 50}},
      {"a given ratio", wide.resizable().aspectRatio(1.0, ContentMode::fit), {100, 60}, {60, 60}, {0, 0, 60, 60}},
      {"a resizable picture takes the offer", wide.resizable(), {100, 100}, {100, 100}, {0, 0, 100, 100}},
      {"a resizable picture offered nothing keeps its pixels", wide.resizable(), {}, {200, 100}, {0, 0, 200, 100}},
      {"a fixed picture keeps its pixels", wide, {50, 50}, {200, 100}, {0, 0, 200, 100}},
  };
  for (const auto& c : cases) {
    const PlacedView placed = place(c.view, c.proposal);
    EXPECT_NEAR(placed.outerFrame().width, c.size.width, kTolerance) << c.name;
    EXPECT_NEAR(placed.outerFrame().height, c.size.height, kTolerance) << c.name;
    expectRect(placed.frame, c.frame, c.name);
  }

  // Backgrounds and overlays are offered exactly their view's size.
  const PlacedView decorated = place(fixed(20, 10).padding(5).background(Color::blue).overlay(Material::thin), {});
  ASSERT_EQ(decorated.modifiers.size(), 4U);  // the fixed frame, padding, background, overlay
  expectRect(decorated.modifiers[2].content.at(0).frame, Rect{0, 0, 30, 20}, "background");
  expectRect(decorated.modifiers[3].content.at(0).frame, Rect{0, 0, 30, 20}, "overlay");
  const PlacedView corner = place(fixed(40, 40).background(fixed(10, 10), Alignment::bottomTrailing), {});
  expectRect(corner.modifiers[1].content.at(0).outerFrame(), Rect{30, 30, 10, 10}, "aligned background");
}

TEST(Layout, ConditionalViewsJoinTheParentStackAndEmptyTakesNothing) {
  const PlacedView flat = place(VStack({fixed(10, 10), fixed(10, 10), fixed(10, 10), fixed(10, 10)}), {});
  const PlacedView grouped = place(VStack({fixed(10, 10), ifElse(true, {fixed(10, 10), fixed(10, 10)}, {}),
                                           optionalView(std::nullopt), fixed(10, 10)}),
                                   {});
  expectRect(grouped.frame, flat.frame, "stack");
  ASSERT_EQ(grouped.children.size(), 4U);
  ASSERT_EQ(grouped.children[1].children.size(), 2U);
  expectRect(grouped.children[1].children[1].outerFrame(), flat.children[2].outerFrame(), "second of the group");
  expectRect(grouped.children[1].frame, Rect{0, 18, 10, 28}, "the group spans its views");
  EXPECT_EQ(grouped.children[2].type, "Empty");
  expectRect(grouped.children[2].frame, Rect{0, 46, 0, 0}, "the empty view");
  expectRect(grouped.children[3].outerFrame(), flat.children[3].outerFrame(), "after the empty view");

  // A modifier on the group applies to each of its views.
  const PlacedView padded = place(VStack({ifElse(false, {}, {fixed(10, 10), fixed(10, 10)}).padding(5)}), {});
  const auto& views = padded.children[0].children;
  ASSERT_EQ(views.size(), 2U);
  expectRect(views[1].outerFrame(), Rect{0, 28, 20, 20}, "padded second");
  expectRect(views[1].frame, Rect{5, 33, 10, 10}, "padded second, inside");
}

TEST(LayoutText, WrapsAtSpacesTruncatesWithAnEllipsisAndKeepsCharactersWhole) {
  const ResolvedFont font{10, 400};
  std::string accented;  // accented letters written with combining marks
  for (int i = 0; i < 12; ++i) accented += "e\u0301";
  const struct {
    std::string name;
    std::string text;
    ProposedSize proposal;
    std::vector<std::string> lines;
    bool truncated;
  } cases[] = {
      {"one line when no width is offered", "hello world", {}, {"hello world"}, false},
      {"wraps at the space", "hello world", {40, std::nullopt}, {"hello", "world"}, false},
      {"one line fits: truncated", "hello world", {40, 12.1}, {"hello\u2026"}, true},
      {"less than a line still shows one", "hello world", {40, 3}, {"hello\u2026"}, true},
      {"two lines fit", "hello world again", {40, 24.5}, {"hello", "world\u2026"}, true},
      {"a long word breaks inside", "abcdefghij", {20, std::nullopt}, {"abc", "def", "ghij"}, false},
      {"line breaks are kept", "a\r\nb\rc\nd", {}, {"a", "b", "c", "d"}, false},
      {"no room for the ellipsis leaves the line empty", "hello", {5, 12.1}, {""}, true},
      {"an empty text is one empty line", "", {}, {""}, false},
      {"invalid and cut-off bytes are shown as replacement characters",
       "a\xff"
       "b\xe2\x82",
       {},
       {"a\uFFFDb\uFFFD\uFFFD"},
       false},
  };
  ApproximateTextMeasurer measurer;
  for (const auto& c : cases) {
    const TextLayout layout = layOutText(sanitizedText(c.text), font, c.proposal, measurer);
    std::vector<std::string> lines;
    for (const TextLine& line : layout.lines) lines.push_back(line.text);
    EXPECT_EQ(lines, c.lines) << c.name;
    EXPECT_EQ(layout.truncated, c.truncated) << c.name;
    for (const TextLine& line : layout.lines) EXPECT_LE(line.width, c.proposal.width.value_or(1e9)) << c.name;
  }

  // Wrapping and truncation never part a letter from its combining mark.
  const TextLayout wrapped = layOutText(accented, font, {12, std::nullopt}, measurer);
  ASSERT_GT(wrapped.lines.size(), 1U);
  for (const TextLine& line : wrapped.lines) EXPECT_FALSE(line.text.starts_with("\u0301")) << line.text;
  const TextLayout cut = layOutText(accented, font, {30, 12.1}, measurer);
  ASSERT_EQ(cut.lines.size(), 1U);
  EXPECT_TRUE(cut.lines[0].text.ends_with("\u0301\u2026")) << cut.lines[0].text;

  // However long, a text is cut to kMaxTextBytes and set on at most kMaxTextLines lines.
  EXPECT_EQ(sanitizedText(std::string(kMaxTextBytes + 100, 'x')).size(), kMaxTextBytes);
  const TextLayout many = layOutText(sanitizedText(std::string(100000, 'w')), font, {20, std::nullopt}, measurer);
  EXPECT_EQ(many.lines.size(), kMaxTextLines);
  EXPECT_TRUE(many.truncated);
  EXPECT_TRUE(many.lines.back().text.ends_with("\u2026"));
}

TEST(Layout, FontsAndColoursFlowFromTheEnvironment) {
  const View tree = VStack({
                               Text("a"),
                               Text("b").font(Font::largeTitle).fontWeight(Font::Weight::heavy),
                               Text("c").font(Font::headline),
                               Image::systemName("play.fill"),
                               Text("d").foregroundColor(Color::red).background(Text("under")),
                               Text("e").background(Text("outside")).foregroundColor(Color::red),
                           })
                        .font(Font::caption)
                        .foregroundColor(Color::cyan.opacity(0.5));
  const PlacedView placed = place(tree, {200, 400});
  const struct {
    std::string shown;
    ResolvedFont font;
    Color color;
  } cases[] = {
      {"a", {12, 400}, Color::cyan.opacity(0.5)},
      {"b", {34, 800}, Color::cyan.opacity(0.5)},
      {"c", {17, 600}, Color::cyan.opacity(0.5)},
      {"d", {12, 400}, Color::red},
      {"under", {12, 400}, Color::cyan.opacity(0.5)},  // the colour is set inside the background
      {"outside", {12, 400}, Color::red},              // ... and outside it here
  };
  for (const auto& c : cases) {
    const PlacedView* view = placed.find([&](const PlacedView& v) {
      const auto* text = std::get_if<PlacedText>(&v.content);
      return text != nullptr && text->shown == c.shown;
    });
    ASSERT_NE(view, nullptr) << c.shown;
    EXPECT_EQ(std::get<PlacedText>(view->content).font, c.font) << c.shown;
    EXPECT_EQ(std::get<PlacedText>(view->content).color, c.color) << c.shown;
  }
  const PlacedView* symbol =
      placed.find([](const PlacedView& v) { return std::holds_alternative<PlacedSymbol>(v.content); });
  ASSERT_NE(symbol, nullptr);
  EXPECT_EQ(symbol->frame.size(), symbolBox("play.fill", 12)->frame);

  const PlacedView plain = place(Text("x"), {});
  EXPECT_EQ(std::get<PlacedText>(plain.content).font, (ResolvedFont{17, 400}));
  EXPECT_EQ(std::get<PlacedText>(plain.content).color, Color::primary);
}

TEST(Layout, SurfacesHaveTheirPublishedSizesAndCentreTheRoot) {
  const struct {
    Surface surface;
    View view;
    Size size;
  } cases[] = {
      {Surface::smallWidget, fixed(20, 10), {170, 170}},
      {Surface::lockScreen, fixed(20, 10), {408, 84}},    // short content: the least height
      {Surface::lockScreen, fixed(20, 120), {408, 120}},  // the content's height
      {Surface::lockScreen, fixed(20, 500), {408, 160}},  // tall content: the most
      {Surface::islandCompactLeading, fixed(20, 10), {62.33, 36.67}},
      {Surface::islandCompactTrailing, fixed(20, 10), {62.33, 36.67}},
      {Surface::islandMinimal, fixed(10, 10), {36.67, 36.67}},
      {Surface::islandMinimal, fixed(41, 10), {41, 36.67}},
      {Surface::islandMinimal, fixed(80, 10), {45, 36.67}},
  };
  ApproximateTextMeasurer measurer;
  for (const auto& c : cases) {
    const std::string label(name(c.surface));
    auto result = layOut(c.view, c.surface, LayoutContext{measurer});
    ASSERT_TRUE(result) << label << ": " << result.error().describe();
    EXPECT_NEAR(result->size.width, c.size.width, kTolerance) << label;
    EXPECT_NEAR(result->size.height, c.size.height, kTolerance) << label;
    ASSERT_EQ(result->regions.size(), 1U);
    const Rect root = result->regions[0].view.outerFrame();
    EXPECT_NEAR(root.midX(), result->size.width / 2, kTolerance) << label;
    EXPECT_NEAR(root.midY(), result->size.height / 2, kTolerance) << label;
  }
}

TEST(Layout, ExpandedIslandPlacesRegionsByPosition) {
  ApproximateTextMeasurer measurer;
  const ExpandedRegion regions[] = {
      {ExpandedRegionPosition::bottom, fixed(100, 30)},
      {ExpandedRegionPosition::leading, fixed(30, 20)},
      {ExpandedRegionPosition::trailing, fixed(40, 20)},
      {ExpandedRegionPosition::center, fixed(50, 10)},
  };
  auto result = layOutExpandedIsland(regions, LayoutContext{measurer});
  ASSERT_TRUE(result) << result.error().describe();
  EXPECT_EQ(result->size, (Size{408, 14 + 20 + 8 + 30 + 14}));
  ASSERT_EQ(result->regions.size(), 4U);  // in the order given
  const Rect frames[] = {
      {154, 42, 100, 30},  // bottom: centred across the whole width, below the top row
      {20, 14, 30, 20},    // leading, at the top leading side
      {348, 14, 40, 20},   // trailing, at the top trailing side
      {174, 19, 50, 10},   // center, between them
  };
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(result->regions[i].position, regions[i].position);
    expectRect(result->regions[i].view.outerFrame(), frames[i], std::string(name(regions[i].position)));
  }

  const ExpandedRegion twice[] = {{ExpandedRegionPosition::leading, fixed(1, 1)},
                                  {ExpandedRegionPosition::leading, fixed(1, 1)}};
  auto duplicate = layOutExpandedIsland(twice, LayoutContext{measurer});
  ASSERT_FALSE(duplicate);
  EXPECT_EQ(duplicate.error().describe(), "regions[1]: a second region at position \"leading\"");
}

TEST(Layout, ReportsWhatCannotBeDrawnByItsPath) {
  tul::testing::TempFolder folder;
  tul::testing::writeFile(folder.path() / "Test.appex/Resources/broken.png", "not a picture at all, just words");
  const Bundle bundle(folder.path() / "Test.appex");
  View deep = fixed(1, 1);
  for (int i = 0; i < kMaxLayoutDepth + 5; ++i) {
    std::vector<View> children;
    children.push_back(std::move(deep));
    deep = VStack(std::move(children));
  }

  const struct {
    std::string name;
    View view;
    std::optional<Bundle> assets;
    LayoutError::Kind kind;
    std::string path;
    std::string mentions;
  } cases[] = {
      {"unknown symbol", VStack({Text("a"), Image::systemName("star.fill")}), std::nullopt,
       LayoutError::Kind::unknownSymbol, "$.children[1]", "star.fill"},
      {"asset missing from the bundle", Text("a").background(Image("background", std::nullopt)), bundle,
       LayoutError::Kind::missingImage, "$.modifiers[0].content", "background"},
      {"no bundle to look in", Image("background", std::nullopt), std::nullopt, LayoutError::Kind::missingImage, "$",
       "no asset bundle"},
      {"not a PNG", HStack({Image("broken", std::nullopt)}), bundle, LayoutError::Kind::unreadableImage,
       "$.children[0]", "not a PNG"},
      {"nested too deeply", deep, std::nullopt, LayoutError::Kind::tooDeep, "", "nested too deeply"},
  };
  ApproximateTextMeasurer measurer;
  for (const auto& c : cases) {
    auto result = layOut(c.view, Surface::smallWidget, LayoutContext{measurer, Localizer{}, c.assets});
    ASSERT_FALSE(result) << c.name;
    EXPECT_EQ(result.error().kind, c.kind) << c.name;
    if (!c.path.empty()) {
      EXPECT_EQ(result.error().path, c.path) << c.name;
    }
    EXPECT_NE(result.error().message.find(c.mentions), std::string::npos) << c.name << ": " << result.error().message;
  }
}

}  // namespace
}  // namespace ui
