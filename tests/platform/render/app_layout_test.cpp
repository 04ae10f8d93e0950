// The app's real trees laid out with the real font: where things land on each surface.
#include <gtest/gtest.h>

#include "app_trees.h"
#include "platform/render/render.h"

namespace tul {
namespace {

using ui::PlacedText;
using ui::PlacedView;
using ui::Rect;

ui::LayoutResult laidOut(const ui::View& view, ui::Surface surface) {
  auto result = render::layOut(view, surface, testing::extensionBundle());
  if (!result) ADD_FAILURE() << result.error().message;
  return result ? *result : ui::LayoutResult{};
}

// The surface's size within its range, and every drawn thing (text line, symbol,
// picture, fill) inside it.
void expectFits(const ui::LayoutResult& layout, ui::Surface surface, const std::string& label) {
  const ui::SurfaceGeometry shape = ui::geometry(surface);
  EXPECT_TRUE(layout.size.width >= shape.minWidth && layout.size.width <= shape.maxWidth) << label;
  EXPECT_TRUE(layout.size.height >= shape.minHeight && layout.size.height <= shape.maxHeight) << label;
  const Rect whole{0, 0, layout.size.width, layout.size.height};
  layout.forEach([&](const PlacedView& view) {
    if (std::holds_alternative<std::monostate>(view.content)) return;
    EXPECT_TRUE(whole.contains(view.frame)) << label << ": " << view.type << " at " << view.frame.x << ","
                                            << view.frame.y << " " << view.frame.width << "x" << view.frame.height;
    if (const auto* text = std::get_if<PlacedText>(&view.content)) {
      for (const ui::PlacedLine& line : text->lines) {
        EXPECT_TRUE(whole.contains(line.frame)) << label << ": line \"" << line.text << "\"";
        EXPECT_LE(line.frame.width, view.frame.width + 1e-6) << label << ": line \"" << line.text << "\"";
      }
    }
  });
}

TEST(AppLayout, ActivityPresentationsKeepTheirColumnsAndFitTheirSurfaces) {
  using P = ui::ExpandedRegionPosition;
  for (const testing::ActivityCase& c : testing::activityCases()) {
    const testing::Presentations views = testing::presentations(c.state);
    const ui::LayoutResult lock = laidOut(views.lockScreen, ui::Surface::lockScreen);
    expectFits(lock, ui::Surface::lockScreen, c.name + ", lock screen");
    ASSERT_EQ(lock.regions.size(), 1U);
    // Three columns, the play or pause button at the trailing edge.
    const PlacedView& row = lock.regions[0].view;
    ASSERT_EQ(row.children.size(), 5U) << c.name;
    EXPECT_EQ(row.children[4].type, "Button");
    EXPECT_NEAR(row.children[0].outerFrame().minX(), 16, 1e-6) << c.name;
    EXPECT_LT(row.children[0].outerFrame().maxX(), row.children[2].outerFrame().minX()) << c.name;
    EXPECT_LT(row.children[2].outerFrame().maxX(), row.children[4].outerFrame().minX()) << c.name;
    EXPECT_NEAR(row.children[4].outerFrame().maxX(), 408 - 16, 1e-6) << c.name;
    const PlacedView* symbol = lock.findImage(c.state.isPlaying ? "pause.fill" : "play.fill");
    ASSERT_NE(symbol, nullptr) << c.name;
    EXPECT_EQ(std::get<ui::PlacedSymbol>(symbol->content).font.size, 28) << c.name;

    expectFits(laidOut(views.compactLeading, ui::Surface::islandCompactLeading), ui::Surface::islandCompactLeading,
               c.name + ", compact leading");
    expectFits(laidOut(views.compactTrailing, ui::Surface::islandCompactTrailing), ui::Surface::islandCompactTrailing,
               c.name + ", compact trailing");
    expectFits(laidOut(views.minimal, ui::Surface::islandMinimal), ui::Surface::islandMinimal, c.name + ", minimal");

    auto expanded = render::layOut(views.expanded, testing::extensionBundle());
    ASSERT_TRUE(expanded) << expanded.error().message;
    expectFits(*expanded, ui::Surface::islandExpanded, c.name + ", expanded");
    std::map<P, Rect> frames;
    for (const ui::PlacedRegion& region : expanded->regions) frames[*region.position] = region.view.outerFrame();
    EXPECT_LT(frames[P::leading].maxX(), frames[P::center].minX()) << c.name;
    EXPECT_LT(frames[P::center].maxX(), frames[P::trailing].minX()) << c.name;
    if (!c.state.isAutomated) {
      EXPECT_GT(frames[P::bottom].minY(), std::max(frames[P::leading].maxY(), frames[P::center].maxY())) << c.name;
    }
  }
}

}  // namespace
}  // namespace tul
