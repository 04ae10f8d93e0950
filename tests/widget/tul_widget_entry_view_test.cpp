// What the widget's tree is made of besides its outline (tul_widget_golden_test.cpp).
#include "widget/tul_widget_entry_view.h"

#include <gtest/gtest.h>

#include "images/shared_images.h"
#include "platform/ui/tree_json.h"

namespace tul {
namespace {

SimpleEntry entryWith(bool isPlaylingList, std::string name, std::int64_t bpm) {
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.isPlaylingList = isPlaylingList;
  melody.name = std::move(name);
  melody.bpm = bpm;
  return SimpleEntry{foundation::Date::now(), melody};
}

TEST(TulWidgetEntryView, OnlyNameFlagAndTempoChangeTheTree) {
  const SimpleEntry base = entryWith(true, "Practice", 96);
  const auto reference = ui::toJSON(TulWidgetEntryView{base}.body());
  SimpleEntry other = base;
  other.date = foundation::Date(foundation::Date::TimePoint{});
  other.melody.poly1 = -1;
  other.melody.poly2 = 99;
  other.melody.polyBar = 7;
  other.melody.bars = 0;
  other.melody.note = 16;
  other.melody.beat = 13;
  other.melody.subdivision = "3";
  other.melody.acc = "";
  other.melody.rythmMode = MiniMelody::RhythmMode::barBased;
  other.melody.id = foundation::UUID::random();
  EXPECT_EQ(ui::toJSON(TulWidgetEntryView{other}.body()), reference);
}

TEST(TulWidgetEntryView, PlaySymbolIsTheSharedImage) {
  const auto tree = TulWidgetEntryView{entryWith(false, "", 120)}.body();
  ASSERT_NE(tree.children()[4].as<ui::Image>(), nullptr);
  EXPECT_TRUE(tree.children()[4].as<ui::Image>()->sameInstance(playImage()));
}

}  // namespace
}  // namespace tul
