// The home-screen widget's trees against their golden outlines (tests/golden).
#include <gtest/gtest.h>

#include <limits>

#include "golden/golden.h"
#include "platform/ui/tree_outline.h"
#include "widget/tul_widget_entry_view.h"

namespace tul {
namespace {

std::string outlineFor(bool isPlaylingList, std::string name, std::int64_t bpm) {
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.isPlaylingList = isPlaylingList;
  melody.name = std::move(name);
  melody.bpm = bpm;
  return ui::outline(TulWidgetEntryView{SimpleEntry{foundation::Date::now(), melody}}.body());
}

TEST(TulWidgetGolden, EveryKindOfEntry) {
  const MiniMelody preset = MiniMelody::defaultMelody();
  testing::expectGolden("widget-placeholder.txt",
                        ui::outline(TulWidgetEntryView{SimpleEntry{foundation::Date::now(), preset}}.body()));
  testing::expectGolden("widget-playlist.txt", outlineFor(true, "Let it be", 96));
  testing::expectGolden("widget-playlist-without-name.txt", outlineFor(true, "", 60));
  testing::expectGolden("widget-not-a-playlist.txt", outlineFor(false, "Let it be", 0));
  testing::expectGolden("widget-lowest-tempo.txt", outlineFor(false, "x", std::numeric_limits<std::int64_t>::min()));
  // Values are never read as formats, and quotes and control characters are escaped.
  testing::expectGolden("widget-format-characters.txt", outlineFor(true, "100% \"%@\" %lld %1$@ %%\n\t\r", 180));
}

}  // namespace
}  // namespace tul
