// The Live Activity's erased form; what it shows is in tul_widget_golden_test.cpp.
#include "activity/tul_widget_live_activity.h"

#include <gtest/gtest.h>

#include "images/shared_images.h"
#include "platform/widgetkit/widget.h"

namespace tul {
namespace {

TEST(TulWidgetLiveActivity, AutomatedTrailingRegionIsTheSharedPause) {
  const auto island =
      TulWidgetLiveActivity::Island{}(TulWidgetLiveActivity::Context{{"n"}, {1, 1, 1, "x", true, true}});
  const auto regions = island.expanded();
  ASSERT_EQ(regions.size(), 4u);
  const auto* pause = regions[1].content().as<ui::Image>();
  ASSERT_NE(pause, nullptr);
  EXPECT_TRUE(pause->sameInstance(pauseImage()));
}

TEST(TulWidgetLiveActivity, UndecodableStateNamesTheMember) {
  const auto widget = std::get<widgetkit::ActivityWidget>(widgetkit::eraseWidget(TulWidgetLiveActivity()));
  const auto result = widget.present(R"({"name":"n"})", R"({"tempo":1,"beat":2,"note":3,"isPlaying":true})",
                                     widgetkit::kAllActivityPresentations);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().record, "state");
  EXPECT_EQ(result.error().error.codingPath, std::vector<std::string>{"isAutomated"});
  const auto badAttributes = widget.present(R"({"nom":"n"})", R"({})", widgetkit::kAllActivityPresentations);
  ASSERT_FALSE(badAttributes);
  EXPECT_EQ(badAttributes.error().record, "attributes");
}

}  // namespace
}  // namespace tul
