// Test support: the app's real view trees for the cases the pictures cover: widget
// entries (a preset, a playlist entry with a name, a long name) and the Live
// Activity's five presentations in several states (playing, paused, automated, no
// melody name, a long name), with the extension bundle that holds their assets.
#pragma once

#include <string>
#include <vector>

#include "activity/tul_widget_live_activity.h"
#include "platform/ui/bundle.h"
#include "platform/ui/layout.h"
#include "widget/tul_widget_entry_view.h"

namespace tul::testing {

inline ui::Bundle extensionBundle() { return ui::Bundle(TUL_EXTENSION_BUNDLE_DIR); }

inline const std::string kLongName = "An Extremely Long Melody Name That Does Not Fit Anywhere At All";

struct WidgetCase {
  std::string name;
  bool isPlaylingList;
  std::string melody;
  std::int64_t bpm;
  std::string tempo;   // shown
  std::string second;  // shown under the tempo
};

inline std::vector<WidgetCase> widgetCases() {
  return {
      {"preset", false, "Let it be", 120, "120", "Allegro"},
      {"playlist entry", true, "Let it be", 96, "96", "Let it be "},
      {"long name", true, kLongName, 200, "200", kLongName + " "},
      {"slowest", false, "", 0, "0", "Larghissimo"},
  };
}

inline ui::View widgetView(const WidgetCase& c) {
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.isPlaylingList = c.isPlaylingList;
  melody.name = c.melody;
  melody.bpm = c.bpm;
  return TulWidgetEntryView{SimpleEntry{foundation::Date::now(), melody}}.body();
}

struct ActivityCase {
  std::string name;
  TulWidgetAttributes::ContentState state;
};

inline std::vector<ActivityCase> activityCases() {
  return {
      {"playing", {120, 4, 4, "Waltz", true, false}},     {"paused", {90, 3, 4, "Waltz", false, false}},
      {"automated", {140, 4, 4, "Waltz", true, true}},    {"no melody name", {60, 6, 8, std::nullopt, true, false}},
      {"long name", {180, 7, 8, kLongName, true, false}},
  };
}

struct Presentations {
  ui::View lockScreen;
  std::vector<ui::ExpandedRegion> expanded;
  ui::View compactLeading;
  ui::View compactTrailing;
  ui::View minimal;
};

inline Presentations presentations(const TulWidgetAttributes::ContentState& state) {
  const auto configuration = TulWidgetLiveActivity().body();
  const TulWidgetLiveActivity::Context context{TulWidgetAttributes{"Practice"}, state};
  const widgetkit::DynamicIsland island = configuration.dynamicIsland(context);
  std::vector<ui::ExpandedRegion> regions;
  for (const auto& region : island.expanded()) {
    regions.push_back({region.position(), region.content()});
  }
  return Presentations{configuration.lockScreen(context), std::move(regions), island.compactLeading(),
                       island.compactTrailing(), island.minimal()};
}

}  // namespace tul::testing
