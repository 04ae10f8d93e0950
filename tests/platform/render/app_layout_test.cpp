// The app's real trees laid out with the real font: where things land on each surface.
#include <gtest/gtest.h>

#include <cmath>

#include "app_trees.h"
#include "platform/render/render.h"

namespace tul {
namespace {

using ui::PlacedText;
using ui::PlacedView;
using ui::Rect;

constexpr double kTolerance = 1e-6;

ui::LayoutResult laidOut(const ui::View& view, ui::Surface surface) {
  auto result = render::layOut(view, surface, testing::extensionBundle());
  if (!result) ADD_FAILURE() << result.error().message;
  return result ? *result : ui::LayoutResult{};
}

Rect frameOf(const PlacedView* view, const std::string& what) {
  if (view == nullptr) {
    ADD_FAILURE() << "not laid out: " << what;
    return Rect{};
  }
  return view->frame;
}

// Every drawn thing (text line, symbol, picture, fill) lies inside the surface.
void expectAllInside(const ui::LayoutResult& layout, const std::string& label) {
  const Rect surface{0, 0, layout.size.width, layout.size.height};
  layout.forEach([&](const PlacedView& view) {
    if (std::holds_alternative<std::monostate>(view.content)) return;
    EXPECT_TRUE(surface.contains(view.frame)) << label << ": " << view.type << " at " << view.frame.x << ","
                                              << view.frame.y << " " << view.frame.width << "x" << view.frame.height;
    if (const auto* text = std::get_if<PlacedText>(&view.content)) {
      for (const ui::PlacedLine& line : text->lines) {
        EXPECT_TRUE(surface.contains(line.frame)) << label << ": line \"" << line.text << "\"";
        EXPECT_LE(line.frame.width, view.frame.width + kTolerance) << label << ": line \"" << line.text << "\"";
      }
    }
  });
}

TEST(AppLayout, WidgetStacksTitleTempoSecondLineAndPlaySymbolCentred) {
  for (const testing::WidgetCase& c : testing::widgetCases()) {
    const ui::LayoutResult layout = laidOut(testing::widgetView(c), ui::Surface::smallWidget);
    EXPECT_EQ(layout.size, (ui::Size{170, 170})) << c.name;
    const Rect title = frameOf(layout.findText("Kadenzo"), c.name + ": title");
    const Rect tempo = frameOf(layout.findText(c.tempo), c.name + ": tempo");
    const Rect second = frameOf(layout.findText(c.second), c.name + ": second line");
    const Rect play = frameOf(layout.findImage("play.fill"), c.name + ": play symbol");
    EXPECT_LE(title.maxY(), tempo.minY()) << c.name;
    EXPECT_LE(tempo.maxY(), second.minY()) << c.name;
    EXPECT_LE(second.maxY(), play.minY()) << c.name;
    for (const auto& [what, frame] : {std::pair{"title", title}, std::pair{"tempo", tempo},
                                      std::pair{"second line", second}, std::pair{"play symbol", play}}) {
      EXPECT_NEAR(frame.midX(), 85, 0.01) << c.name << ": " << what << " is not centred";
      EXPECT_TRUE((Rect{16, 16, 138, 138}.contains(frame))) << c.name << ": " << what << " leaves the padding";
    }
    expectAllInside(layout, c.name);

    const PlacedView* tempoView = layout.findText(c.tempo);
    ASSERT_NE(tempoView, nullptr);
    EXPECT_EQ(std::get<PlacedText>(tempoView->content).font, (ui::ResolvedFont{34, 800})) << c.name;
    EXPECT_EQ(std::get<PlacedText>(tempoView->content).color, ui::Color::white) << c.name;
    EXPECT_EQ(std::get<PlacedText>(layout.findText("Kadenzo")->content).font, (ui::ResolvedFont{12, 400}));
  }
}

TEST(AppLayout, WidgetBackgroundFillsTheWholeWidget) {
  const ui::LayoutResult layout = laidOut(testing::widgetView(testing::widgetCases()[0]), ui::Surface::smallWidget);
  const PlacedView* background = layout.findImage("background");
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(background->outerFrame(), (Rect{0, 0, 170, 170}));
  const auto& picture = std::get<ui::PlacedPicture>(background->content);
  EXPECT_EQ(picture.pixelSize, (ui::Size{510, 510}));
  EXPECT_TRUE(std::filesystem::exists(picture.file));
  // The frosted layer and the cyan tint lie exactly over the picture.
  ASSERT_EQ(background->modifiers.size(), 3U);
  const PlacedView& material = background->modifiers[1].content.at(0);
  const PlacedView& tint = background->modifiers[2].content.at(0);
  EXPECT_EQ(std::get<ui::Material>(material.content), ui::Material::thin);
  EXPECT_EQ(material.frame, (Rect{0, 0, 170, 170}));
  EXPECT_EQ(std::get<ui::Color>(tint.content), ui::Color::cyan.opacity(0.6));
  EXPECT_EQ(tint.frame, (Rect{0, 0, 170, 170}));
}

TEST(AppLayout, LongNamesAreTruncatedInsideTheirBounds) {
  const testing::Presentations activity = testing::presentations(testing::activityCases().back().state);
  auto expanded = render::layOut(activity.expanded, testing::extensionBundle());
  ASSERT_TRUE(expanded) << expanded.error().message;
  const struct {
    std::string name;
    ui::LayoutResult layout;
    std::string shown;
    bool truncated;
  } cases[] = {
      // One line is all the widget has room for.
      {"widget", laidOut(testing::widgetView(testing::widgetCases()[2]), ui::Surface::smallWidget),
       testing::kLongName + " ", true},
      // The middle column is narrow: the name wraps until the platter's greatest height.
      {"lock screen", laidOut(activity.lockScreen, ui::Surface::lockScreen), testing::kLongName, true},
      // The bottom region spans the island: two lines hold it.
      {"expanded island", *expanded, testing::kLongName, false},
  };
  for (const auto& c : cases) {
    const PlacedView* view = c.layout.findText(c.shown);
    ASSERT_NE(view, nullptr) << c.name;
    const auto& text = std::get<PlacedText>(view->content);
    EXPECT_EQ(text.truncated, c.truncated) << c.name;
    ASSERT_FALSE(text.lines.empty()) << c.name;
    EXPECT_EQ(text.lines.back().text.ends_with("\u2026"), c.truncated) << c.name << ": " << text.lines.back().text;
    if (!c.truncated) {
      EXPECT_GT(text.lines.size(), 1U) << c.name;
    }
    expectAllInside(c.layout, c.name);
  }
}

TEST(AppLayout, LockScreenShowsThreeColumnsAndTheButtonAtTheTrailingEdge) {
  for (const testing::ActivityCase& c : testing::activityCases()) {
    const ui::LayoutResult layout = laidOut(testing::presentations(c.state).lockScreen, ui::Surface::lockScreen);
    EXPECT_EQ(layout.size.width, 408) << c.name;
    EXPECT_GE(layout.size.height, 84) << c.name;
    EXPECT_LE(layout.size.height, 160) << c.name;
    ASSERT_EQ(layout.regions.size(), 1U);
    const PlacedView& row = layout.regions[0].view;
    ASSERT_EQ(row.children.size(), 5U) << c.name;
    const Rect left = row.children[0].outerFrame();
    const Rect middle = row.children[2].outerFrame();
    const PlacedView& button = row.children[4];
    EXPECT_EQ(button.type, "Button");
    EXPECT_LT(left.maxX(), middle.minX()) << c.name;
    EXPECT_LT(middle.maxX(), button.outerFrame().minX()) << c.name;
    EXPECT_NEAR(left.minX(), 16, kTolerance) << c.name;
    EXPECT_NEAR(button.outerFrame().maxX(), 408 - 16, kTolerance) << c.name;
    const char* symbol = c.state.isPlaying ? "pause.fill" : "play.fill";
    EXPECT_NE(layout.findImage(symbol), nullptr) << c.name;
    EXPECT_EQ(std::get<ui::PlacedSymbol>(layout.findImage(symbol)->content).font.size, 28) << c.name;
    expectAllInside(layout, c.name);
  }
}

TEST(AppLayout, IslandPresentationsFitTheirSurfaces) {
  const ui::Bundle bundle = testing::extensionBundle();
  for (const testing::ActivityCase& c : testing::activityCases()) {
    const testing::Presentations views = testing::presentations(c.state);
    const struct {
      std::string name;
      ui::View view;
      ui::Surface surface;
    } compact[] = {
        {"compact leading", views.compactLeading, ui::Surface::islandCompactLeading},
        {"compact trailing", views.compactTrailing, ui::Surface::islandCompactTrailing},
        {"minimal", views.minimal, ui::Surface::islandMinimal},
    };
    for (const auto& p : compact) {
      const ui::LayoutResult layout = laidOut(p.view, p.surface);
      const ui::SurfaceGeometry shape = ui::geometry(p.surface);
      EXPECT_GE(layout.size.width, shape.minWidth) << c.name << ", " << p.name;
      EXPECT_LE(layout.size.width, shape.maxWidth) << c.name << ", " << p.name;
      EXPECT_NEAR(layout.size.height, 36.67, kTolerance) << c.name << ", " << p.name;
      expectAllInside(layout, c.name + ", " + p.name);
    }

    auto expanded = render::layOut(views.expanded, bundle);
    ASSERT_TRUE(expanded) << expanded.error().message;
    EXPECT_EQ(expanded->size.width, 408);
    EXPECT_GE(expanded->size.height, 84);
    EXPECT_LE(expanded->size.height, 160);
    std::map<ui::ExpandedRegionPosition, Rect> frames;
    for (const ui::PlacedRegion& region : expanded->regions) frames[*region.position] = region.view.outerFrame();
    using P = ui::ExpandedRegionPosition;
    EXPECT_LT(frames[P::leading].maxX(), frames[P::center].minX()) << c.name;
    EXPECT_LT(frames[P::center].maxX(), frames[P::trailing].minX()) << c.name;
    EXPECT_LT(frames[P::leading].minX(), 44) << c.name;
    EXPECT_GT(frames[P::trailing].maxX(), 408 - 44) << c.name;
    if (!c.state.isAutomated) {
      EXPECT_GT(frames[P::bottom].minY(), frames[P::leading].maxY()) << c.name;
      EXPECT_GT(frames[P::bottom].minY(), frames[P::center].maxY()) << c.name;
    }
    expectAllInside(*expanded, c.name + ", expanded");
  }
}

}  // namespace
}  // namespace tul
