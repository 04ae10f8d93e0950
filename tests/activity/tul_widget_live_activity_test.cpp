#include <gtest/gtest.h>

#include "activity/tul_widget_live_activity.h"
#include "images/shared_images.h"
#include "platform/ui/tree_json.h"
#include "platform/widgetkit/widget.h"
#include "support/tree_probe.h"

namespace tul {
namespace {

using Shown = std::vector<std::string>;
using State = TulWidgetAttributes::ContentState;
using widgetkit::ActivityPresentation;

// Every presentation of the activity for `state`, as the host would ask for them.
std::vector<widgetkit::RenderedPresentation> presentations(const State& state, const std::string& name = "n") {
  const auto widget = std::get<widgetkit::ActivityWidget>(widgetkit::eraseWidget(TulWidgetLiveActivity()));
  auto attributes = foundation::JSONEncoder().encodeToString(TulWidgetAttributes{name});
  auto coded = foundation::JSONEncoder().encodeToString(state);
  auto rendered = widget.present(*attributes, *coded, widgetkit::kAllActivityPresentations);
  EXPECT_TRUE(rendered);
  return *rendered;
}

Shown shownIn(const widgetkit::RenderedPresentation& presentation) {
  if (presentation.view) return testing::shown(ui::toJSON(*presentation.view));
  Shown out;
  for (const auto& region : presentation.regions) {
    out.push_back(std::string(ui::name(region.position)) + ":");
    for (auto& item : testing::shown(ui::toJSON(region.view))) out.push_back(item);
  }
  return out;
}

TEST(TulWidgetLiveActivity, DynamicIslandPresentations) {
  const struct {
    State state;
    Shown expanded, compactLeading, compactTrailing, minimal;
  } cases[] = {
      {{120, 4, 4, "Bolero", true, true},
       {"leading:", "symbol:metronome", "trailing:", "symbol:pause.fill", "center:", "Kadenzo", "bottom:"},
       {"symbol:metronome"},
       {"symbol:metronome"},
       {"symbol:metronome"}},
      {{120, 4, 4, "Bolero", true, false},
       {"leading:", "120", "trailing:", "4/4", "center:", "Kadenzo", "bottom:", "Bolero"},
       {"120"},
       {"4/4"},
       {"120"}},
      {{0, -3, 8, std::nullopt, false, false},
       {"leading:", "0", "trailing:", "-3/8", "center:", "Kadenzo", "bottom:", "Free Beats"},
       {"0"},
       {"-3/8"},
       {"0"}},
      {{60, 3, 4, "", false, false},
       {"leading:", "60", "trailing:", "3/4", "center:", "Kadenzo", "bottom:", ""},
       {"60"},
       {"3/4"},
       {"60"}},
  };
  for (const auto& c : cases) {
    const auto all = presentations(c.state);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(shownIn(all[1]), c.expanded);
    EXPECT_EQ(shownIn(all[2]), c.compactLeading);
    EXPECT_EQ(shownIn(all[3]), c.compactTrailing);
    EXPECT_EQ(shownIn(all[4]), c.minimal);
    for (const auto& region : all[1].regions) EXPECT_EQ(region.priority, 0);
  }
}

TEST(TulWidgetLiveActivity, AutomatedBottomRegionIsEmptyAndTrailingIsTheSharedPause) {
  const auto island = TulWidgetLiveActivity::Island{}(TulWidgetLiveActivity::Context{{"n"}, {1, 1, 1, "x", true, true}});
  const auto regions = island.expanded();
  ASSERT_EQ(regions.size(), 4u);
  EXPECT_NE(regions[3].content().as<ui::nodes::Empty>(), nullptr);
  const auto* pause = regions[1].content().as<ui::Image>();
  ASSERT_NE(pause, nullptr);
  EXPECT_TRUE(pause->sameInstance(pauseImage()));
}

TEST(TulWidgetLiveActivity, PlayingChangesNothingInTheIslandAndLeadingEqualsMinimal) {
  for (bool automated : {false, true}) {
    for (const std::optional<std::string>& name : {std::optional<std::string>{}, std::optional<std::string>{"A"}}) {
      const auto playing = presentations({97, 7, 8, name, true, automated});
      const auto paused = presentations({97, 7, 8, name, false, automated});
      for (std::size_t i = 1; i < 5; ++i) EXPECT_EQ(shownIn(playing[i]), shownIn(paused[i])) << i;
      EXPECT_NE(shownIn(playing[0]), shownIn(paused[0])) << "the lock screen does change";
      for (const auto& p : {playing, paused}) {
        EXPECT_EQ(ui::toJSON(*p[2].view), ui::toJSON(*p[4].view)) << "compact leading equals minimal";
      }
    }
  }
}

TEST(TulWidgetLiveActivity, AttributesNameIsShownNowhere) {
  for (bool automated : {false, true}) {
    for (bool playing : {false, true}) {
      for (const auto& presentation : presentations({1, 2, 3, std::nullopt, playing, automated}, "SECRET-NAME")) {
        const std::string dumped = presentation.view ? ui::toJSON(*presentation.view).dump() : "";
        EXPECT_EQ(dumped.find("SECRET-NAME"), std::string::npos);
        for (const auto& region : presentation.regions) {
          EXPECT_EQ(ui::toJSON(region.view).dump().find("SECRET-NAME"), std::string::npos);
        }
      }
    }
  }
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
