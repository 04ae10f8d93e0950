// The lock screen's indicator; its outline is in tul_widget_golden_test.cpp.
#include <gtest/gtest.h>

#include "activity/tul_widget_live_activity.h"
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

}  // namespace
}  // namespace tul
