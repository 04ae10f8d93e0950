// Every presentation of the Live Activity against its golden outline (tests/golden),
// shown as widget-host shows an `activity` answer.
#include <gtest/gtest.h>

#include "activity/tul_widget_live_activity.h"
#include "golden/golden.h"
#include "platform/ui/tree_outline.h"
#include "platform/widgetkit/widget.h"

namespace tul {
namespace {

using State = TulWidgetAttributes::ContentState;

// Each presentation headed by its name; the expanded one by region.
std::string presentationsText(const State& state) {
  const auto widget = std::get<widgetkit::ActivityWidget>(widgetkit::eraseWidget(TulWidgetLiveActivity()));
  const auto attributes = foundation::JSONEncoder().encodeToString(TulWidgetAttributes{"SECRET-ACTIVITY-NAME"});
  const auto coded = foundation::JSONEncoder().encodeToString(state);
  const auto rendered = widget.present(*attributes, *coded, widgetkit::kAllActivityPresentations);
  EXPECT_TRUE(rendered);
  if (!rendered) return "";
  std::string out;
  const auto indented = [&](std::string outline, std::size_t indent) {
    for (std::size_t at = 0; at < outline.size(); at = outline.find('\n', at) + 1) outline.insert(at, indent, ' ');
    out += outline;
  };
  for (const auto& presentation : *rendered) {
    out += std::string(ui::name(presentation.presentation)) + ":\n";
    if (presentation.view) indented(ui::outline(*presentation.view), 2);
    for (const auto& region : presentation.regions) {
      out += "  region " + std::string(ui::name(region.position)) + ", priority " +
             std::to_string(static_cast<int>(region.priority)) + ":\n";
      indented(ui::outline(region.view), 4);
    }
  }
  return out;
}

TEST(TulWidgetLiveActivityGolden, EveryPresentationInEveryState) {
  testing::expectGolden("activity-playing.txt", presentationsText({120, 3, 4, "Waltz", true, false}));
  testing::expectGolden("activity-paused.txt", presentationsText({90, 4, 4, "Waltz", false, false}));
  testing::expectGolden("activity-automated.txt", presentationsText({140, 4, 4, "Waltz", true, true}));
  testing::expectGolden("activity-automated-paused.txt", presentationsText({140, 4, 4, "Waltz", false, true}));
  testing::expectGolden("activity-no-melody-name.txt", presentationsText({-7, -3, 0, std::nullopt, true, false}));
  testing::expectGolden("activity-empty-melody-name.txt", presentationsText({60, 6, 8, "", true, false}));
}

}  // namespace
}  // namespace tul
