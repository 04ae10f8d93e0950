// The Live Activity's shared images and its do-nothing button; what it shows is in
// tul_widget_golden_test.cpp, and which record does not decode in widget-host's
// error goldens.
#include "activity/tul_widget_live_activity.h"

#include <gtest/gtest.h>

#include "images/shared_images.h"
#include "platform/ui/tree_json.h"

namespace tul {
namespace {

TEST(MetronomeActivityView, IndicatorUsesTheSharedImagesAndItsButtonDoesNothing) {
  for (bool playing : {false, true}) {
    const TulWidgetLiveActivity::Context context{TulWidgetAttributes{"n"}, {120, 4, 4, std::nullopt, playing, false}};
    const auto tree = MetronomeActivityView{context}.body();
    const auto* node = tree.children().back().as<ui::nodes::Button>();
    ASSERT_NE(node, nullptr);
    const auto before = ui::toJSON(tree);
    node->action();  // tapping changes nothing
    EXPECT_EQ(ui::toJSON(tree), before);
    const auto* image = node->label->children().front().children().front().as<ui::Image>();
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->sameInstance(playing ? pauseImage() : playImage()));
  }
}

TEST(TulWidgetLiveActivity, AutomatedTrailingRegionIsTheSharedPause) {
  const auto island =
      TulWidgetLiveActivity::Island{}(TulWidgetLiveActivity::Context{{"n"}, {1, 1, 1, "x", true, true}});
  const auto regions = island.expanded();
  ASSERT_EQ(regions.size(), 4u);
  const auto* pause = regions[1].content().as<ui::Image>();
  ASSERT_NE(pause, nullptr);
  EXPECT_TRUE(pause->sameInstance(pauseImage()));
}

}  // namespace
}  // namespace tul
