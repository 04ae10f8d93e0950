// Layout's rules, case by case: where each view lands for a proposal, measured with the
// approximate text measurer (lower case 5.5 points wide at 10 points, lines 12.1 high).
// The frames of the stack, modifier, environment and surface cases are written as text
// (golden/layout_frames.h) and compared with tests/golden/layout-frames.txt; the lines
// texts are set on, with tests/golden/layout-text.txt.
#include "platform/ui/layout.h"

#include <gtest/gtest.h>

#include "golden/golden.h"
#include "golden/layout_frames.h"
#include "platform/ui/layout_text.h"
#include "platform/ui/tree_outline.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace ui {
namespace {

using tul::testing::heading;
using tul::testing::writeFrames;

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

TEST(LayoutGolden, StacksModifiersEnvironmentAndSurfaces) {
  tul::testing::TempFolder folder;
  tul::testing::writeFile(folder.path() / "Test.appex/Resources/wide.png", pngHeader(200, 100));
  const Image wide("wide", Bundle(folder.path() / "Test.appex"));
  const auto framed = [](FrameOptions options) { return fixed(20, 10).frame(options); };
  const struct {
    std::string name;
    View view;
    ProposedSize proposal;
  } views[] = {
      // Stacks share space least flexible first, with their spacing.
      {"spacer takes what fixed views leave", VStack({fixed(40, 30), Spacer(), fixed(20, 50)}), {100, 200}},
      {"side by side, centred across", HStack({fixed(30, 10), fixed(30, 20)}), {200, 100}},
      {"flexible colours split the rest evenly", HStack({Color::red, fixed(30, 10), Color::blue}), {200, 50}},
      {"two spacers split evenly around a fixed view", VStack({Spacer(), fixed(10, 20), Spacer()}), {50, 100}},
      {"an infinite frame is as flexible as a spacer",
       HStack({fixed(10, 10), View(Color::blue).frame(FrameOptions{.maxWidth = kInfinity}), Spacer()}),
       {118, 10}},
      {"leading alignment",
       VStack(HorizontalAlignment::leading, std::nullopt, {fixed(40, 10), fixed(10, 10)}),
       {100, 100}},
      {"bottom alignment", HStack(VerticalAlignment::bottom, std::nullopt, {fixed(10, 40), fixed(10, 10)}), {100, 100}},
      {"overlapping, top leading", ZStack(Alignment::topLeading, {fixed(40, 30), fixed(20, 10)}), {100, 100}},
      {"overlapping, centred", ZStack({fixed(40, 30), fixed(20, 10)}), {100, 100}},
      {"explicit spacing", VStack(HorizontalAlignment::center, 4, {fixed(10, 10), fixed(10, 10)}), {}},
      {"no spacing next to a spacer, which keeps its minimum", VStack({fixed(10, 10), Spacer(), fixed(10, 10)}), {}},
      {"a spacer's own minimum", HStack({fixed(10, 10), Spacer(20), fixed(10, 10)}), {}},
      // Modifiers pad, clamp and keep ratios.
      {"default padding is 16 on every edge", fixed(10, 10).padding(), {}},
      {"padding on some edges", fixed(10, 10).padding(EdgeSet::horizontal, 5), {}},
      {"padding given a length", fixed(10, 10).padding(3), {}},
      {"infinite maximum takes the offer", framed({.maxWidth = kInfinity, .maxHeight = kInfinity}), {100, 80}},
      {"aligned top leading",
       framed({.maxWidth = kInfinity, .maxHeight = kInfinity, .alignment = Alignment::topLeading}),
       {100, 80}},
      {"aligned bottom trailing",
       framed({.maxWidth = kInfinity, .maxHeight = kInfinity, .alignment = Alignment::bottomTrailing}),
       {100, 80}},
      {"minimum wins over a smaller offer", framed({.minWidth = 50}), {30, 30}},
      {"maximum below the view's size", framed({.maxWidth = 10}), {100, 100}},
      {"ideal sizes when nothing is offered", framed({.idealWidth = 60, .idealHeight = 40}), {}},
      {"offer clamped into the range", framed({.minWidth = 50, .maxWidth = 70}), {100, 100}},
      {"aspect fill covers the offer", wide.resizable().aspectRatio(std::nullopt, ContentMode::fill), {100, 100}},
      {"aspect fit stays inside it", wide.resizable().aspectRatio(std::nullopt, ContentMode::fit), {100, 100}},
      {"a given ratio", wide.resizable().aspectRatio(1.0, ContentMode::fit), {100, 60}},
      {"a resizable picture takes the offer", wide.resizable(), {100, 100}},
      {"a resizable picture offered nothing keeps its pixels", wide.resizable(), {}},
      {"a fixed picture keeps its pixels", wide, {50, 50}},
      {"backgrounds and overlays are offered their view's size",
       fixed(20, 10).padding(5).background(Color::blue).overlay(Material::thin),
       {}},
      {"aligned background", fixed(40, 40).background(fixed(10, 10), Alignment::bottomTrailing), {}},
      // Conditional views join the parent stack, each taking the group's modifiers;
      // an empty view takes nothing.
      {"grouped views and an empty one",
       VStack({fixed(10, 10), ifElse(true, {fixed(10, 10), fixed(10, 10)}, {}), optionalView(std::nullopt),
               fixed(10, 10)}),
       {}},
      {"padded group", VStack({ifElse(false, {}, {fixed(10, 10), fixed(10, 10)}).padding(5)}), {}},
      // Fonts and colours flow from the environment.
      {"the environment",
       VStack({Text("a"), Text("b").font(Font::largeTitle).fontWeight(Font::Weight::heavy),
               Text("c").font(Font::headline), Image::systemName("play.fill"),
               Text("d").foregroundColor(Color::red).background(Text("under")),
               Text("e").background(Text("outside")).foregroundColor(Color::red)})
           .font(Font::caption)
           .foregroundColor(Color::cyan.opacity(0.5)),
       {200, 400}},
      {"a text with no environment", Text("x"), {}},
  };
  ApproximateTextMeasurer measurer;
  std::string out;
  for (const auto& c : views) {
    out += heading(c.name, c.proposal);
    auto placed = layOutView(c.view, c.proposal, LayoutContext{measurer});
    ASSERT_TRUE(placed) << c.name << ": " << placed.error().describe();
    writeFrames(out, *placed, 0);
  }
  // Every style follows the text size, the smallest and the largest among them.
  for (const ContentSizeCategory size : {ContentSizeCategory::xSmall, ContentSizeCategory::accessibility5}) {
    out += heading("text size " + std::string(name(size)), {});
    const View styles = VStack({Text("t").font(Font::largeTitle), Text("h").font(Font::headline), Text("b"),
                                Text("c").font(Font::caption2), Image::systemName("play.fill")});
    writeFrames(out, *layOutView(styles, {}, LayoutContext{.measurer = measurer, .variant = {.textSize = size}}), 0);
  }

  // Surfaces have their published sizes and centre the root; the expanded island
  // places its regions by position, in the order given.
  const auto writeResult = [&](const std::string& what, const auto& result) {
    ASSERT_TRUE(result) << what << ": " << result.error().describe();
    tul::testing::writeLayout(out, what, *result);
  };
  const struct {
    Surface surface;
    View view;
  } surfaces[] = {
      {Surface::smallWidget, fixed(20, 10)},
      {Surface::lockScreen, fixed(20, 10)},
      {Surface::lockScreen, fixed(20, 120)},
      {Surface::lockScreen, fixed(20, 500)},
      {Surface::islandCompactLeading, fixed(20, 10)},
      {Surface::islandCompactTrailing, fixed(20, 10)},
      {Surface::islandMinimal, fixed(10, 10)},
      {Surface::islandMinimal, fixed(41, 10)},
      {Surface::islandMinimal, fixed(80, 10)},
      // Reported as not fitting: a text and a symbol past the surface's edges, a text cut short.
      {Surface::islandCompactLeading,
       HStack({Text("far"), Image::systemName("play.fill")})
           .frame(FrameOptions{.minWidth = 200, .maxWidth = 200, .alignment = Alignment::leading})},
      {Surface::islandCompactTrailing, Text("a text far too long for the island")},
  };
  for (const auto& c : surfaces) writeResult("surface", layOut(c.view, c.surface, LayoutContext{measurer}));
  // A right-to-left language mirrors the layout: a row's first view is on the right,
  // and the leading region of the island too.
  const LayoutContext rightToLeft{.measurer = measurer, .variant = {.direction = LayoutDirection::rightToLeft}};
  writeResult("right to left", layOut(HStack({fixed(20, 10), Text("x")}), Surface::lockScreen, rightToLeft));
  const ExpandedRegion sides[] = {{ExpandedRegionPosition::leading, fixed(20, 10)},
                                  {ExpandedRegionPosition::trailing, fixed(30, 10)}};
  writeResult("right to left", layOutExpandedIsland(sides, rightToLeft));
  // The compact island is one pill: each side as on its own surface, the camera
  // between them; mirrored, the leading side is on the right.
  writeResult("compact island", layOutCompactIsland(fixed(20, 10), fixed(30, 10), LayoutContext{measurer}));
  writeResult("right to left", layOutCompactIsland(fixed(20, 10), fixed(30, 10), rightToLeft));
  // Each phone's surfaces, or why it has none.
  for (const auto& [deviceName, device] : Names<Device>::table) {
    for (const auto& [surfaceName, surface] : Names<Surface>::table) {
      const LayoutContext onPhone{.measurer = measurer, .variant = {.device = device}};
      const auto result = surface == Surface::islandCompact ? layOutCompactIsland(fixed(20, 10), fixed(20, 10), onPhone)
                                                            : layOut(fixed(20, 10), surface, onPhone);
      out += "== " + std::string(deviceName) + "-pt phone, " + std::string(surfaceName) + ": " +
             (result ? tul::testing::num(result->size.width) + "x" + tul::testing::num(result->size.height)
                     : result.error().describe()) +
             "\n";
    }
  }
  const ExpandedRegion regions[] = {
      {ExpandedRegionPosition::bottom, fixed(100, 30)},
      {ExpandedRegionPosition::leading, fixed(30, 20)},
      {ExpandedRegionPosition::trailing, fixed(40, 20)},
      {ExpandedRegionPosition::center, fixed(50, 10)},
  };
  writeResult("expanded island", layOutExpandedIsland(regions, LayoutContext{measurer}));
  tul::testing::expectGolden("layout-frames.txt", out);

  const ExpandedRegion twice[] = {{ExpandedRegionPosition::leading, fixed(1, 1)},
                                  {ExpandedRegionPosition::leading, fixed(1, 1)}};
  auto duplicate = layOutExpandedIsland(twice, LayoutContext{measurer});
  ASSERT_FALSE(duplicate);
  EXPECT_EQ(duplicate.error().describe(), "regions[1]: a second region at position \"leading\"");
}

TEST(LayoutTextGolden, WrapsAtSpacesTruncatesWithAnEllipsisAndKeepsCharactersWhole) {
  const ResolvedFont font{10, 400};
  std::string accented;  // accented letters written with combining marks, never parted
  for (int i = 0; i < 12; ++i) accented += "e\u0301";
  const struct {
    std::string name;
    std::string text;
    ProposedSize proposal;
  } cases[] = {
      {"one line when no width is offered", "hello world", {}},
      {"wraps at the space", "hello world", {40, std::nullopt}},
      {"one line fits: truncated", "hello world", {40, 12.1}},
      {"less than a line still shows one", "hello world", {40, 3}},
      {"two lines fit", "hello world again", {40, 24.5}},
      {"a long word breaks inside", "abcdefghij", {20, std::nullopt}},
      {"line breaks are kept", "a\r\nb\rc\nd", {}},
      {"no room for the ellipsis leaves the line empty", "hello", {5, 12.1}},
      {"an empty text is one empty line", "", {}},
      {"invalid and cut-off bytes are shown as replacement characters",
       "a\xff"
       "b\xe2\x82",
       {}},
      {"wrapped combining marks", accented, {12, std::nullopt}},
      {"truncated combining marks", accented, {30, 12.1}},
  };
  // Each case's lines with their widths, and whether the text was cut short.
  ApproximateTextMeasurer measurer;
  std::string out;
  for (const auto& c : cases) {
    out += heading(c.name, c.proposal);
    const TextLayout layout = layOutText(sanitizedText(c.text), font, c.proposal, measurer);
    for (const TextLine& line : layout.lines)
      out += "  " + outlineQuoted(line.text) + " " + tul::testing::num(line.width) + "\n";
    out += layout.truncated ? "  truncated\n" : "";
  }
  tul::testing::expectGolden("layout-text.txt", out);

  // However long, a text is cut to kMaxTextBytes and set on at most kMaxTextLines lines.
  EXPECT_EQ(sanitizedText(std::string(kMaxTextBytes + 100, 'x')).size(), kMaxTextBytes);
  const TextLayout many = layOutText(sanitizedText(std::string(100000, 'w')), font, {20, std::nullopt}, measurer);
  EXPECT_EQ(many.lines.size(), kMaxTextLines);
  EXPECT_TRUE(many.truncated);
  EXPECT_TRUE(many.lines.back().text.ends_with("\u2026"));
}

TEST(LayoutGolden, ReportsWhatCannotBeDrawnByItsPath) {
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
  } cases[] = {
      {"unknown symbol", VStack({Text("a"), Image::systemName("star.fill")}), std::nullopt},
      {"asset missing from the bundle", Text("a").background(Image("background", std::nullopt)), bundle},
      {"no bundle to look in", Image("background", std::nullopt), std::nullopt},
      {"not a PNG", HStack({Image("broken", std::nullopt)}), bundle},
      {"nested too deeply", deep, std::nullopt},
  };
  // Each case's kind and error (a long path cut to its end, the temporary folder
  // written as <folder>).
  const char* const kinds[] = {"tooDeep", "unknownSymbol", "missingImage", "unreadableImage", "duplicateRegion"};
  ApproximateTextMeasurer measurer;
  std::string out;
  for (const auto& c : cases) {
    auto result = layOut(c.view, Surface::smallWidget, LayoutContext{measurer, Localizer{}, c.assets});
    ASSERT_FALSE(result) << c.name;
    std::string text = result.error().describe();
    const std::string where = folder.path().string();
    for (std::size_t at; (at = text.find(where)) != std::string::npos;) text.replace(at, where.size(), "<folder>");
    if (text.size() > 200) text = "..." + text.substr(text.size() - 100);
    out += c.name + ": " + kinds[static_cast<int>(result.error().kind)] + "\n  " + text + "\n";
  }
  tul::testing::expectGolden("layout-errors.txt", out);
}

}  // namespace
}  // namespace ui
