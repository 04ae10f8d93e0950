// The app's real trees through their JSON form and back, as the widget host gets them.
#include <gtest/gtest.h>

#include "app_trees.h"
#include "platform/render/render.h"
#include "platform/ui/tree_json.h"
#include "platform/ui/tree_json_reader.h"

namespace tul {
namespace {

struct NamedView {
  std::string name;
  ui::View view;
};

std::vector<NamedView> appTrees() {
  std::vector<NamedView> trees;
  for (const testing::WidgetCase& c : testing::widgetCases())
    trees.push_back({"widget, " + c.name, testing::widgetView(c)});
  for (const testing::ActivityCase& c : testing::activityCases()) {
    testing::Presentations views = testing::presentations(c.state);
    trees.push_back({c.name + ", lock screen", views.lockScreen});
    trees.push_back({c.name + ", compact leading", views.compactLeading});
    trees.push_back({c.name + ", compact trailing", views.compactTrailing});
    trees.push_back({c.name + ", minimal", views.minimal});
    for (const ui::ExpandedRegion& region : views.expanded) {
      trees.push_back({c.name + ", expanded " + std::string(ui::name(region.position)), region.view});
    }
  }
  return trees;
}

// Every frame of a layout, in drawing order, with what the view shows.
std::vector<std::pair<std::string, ui::Rect>> frames(const ui::LayoutResult& layout) {
  std::vector<std::pair<std::string, ui::Rect>> out;
  layout.forEach([&](const ui::PlacedView& view) {
    std::string label = view.type;
    if (const auto* text = std::get_if<ui::PlacedText>(&view.content)) label += " " + text->shown;
    out.emplace_back(label, view.frame);
  });
  return out;
}

TEST(AppTreeJSON, ReadsBackToTheSameJSONInEveryLanguage) {
  const ui::Bundle bundle = testing::extensionBundle();
  const ui::Localizer localizers[] = {ui::Localizer{}, ui::Localizer{bundle, "en"}, ui::Localizer{bundle, "de"}};
  for (const NamedView& tree : appTrees()) {
    for (const ui::Localizer& localizer : localizers) {
      const auto written = ui::toJSON(tree.view, localizer);
      auto read = ui::fromJSON(written);
      ASSERT_TRUE(read) << tree.name << ": " << read.error().describe();
      EXPECT_EQ(ui::toJSON(*read, localizer), written) << tree.name << " (" << localizer.language << ")";
    }
  }
}

TEST(AppTreeJSON, ATreeReadBackIsLaidOutLikeTheOriginal) {
  const ui::Bundle bundle = testing::extensionBundle();
  for (const NamedView& tree : appTrees()) {
    auto read = ui::fromJSON(ui::toJSON(tree.view, ui::Localizer{bundle, "en"}));
    ASSERT_TRUE(read) << tree.name;
    auto original = render::layOut(tree.view, ui::Surface::lockScreen, bundle);
    auto again = render::layOut(*read, ui::Surface::lockScreen, bundle);
    ASSERT_TRUE(original && again) << tree.name;
    EXPECT_EQ(frames(*again), frames(*original)) << tree.name;
  }
}

}  // namespace
}  // namespace tul
