#include "widget/tul_widget.h"

#include <gtest/gtest.h>

namespace tul {
namespace {

TEST(TulWidget, NamesItselfWithKeysOfTheBundle) {
  const TulWidget widget;
  EXPECT_EQ(widget.kind, "com.lumaro.TulWidget");
  const auto configuration = widget.body();
  ASSERT_TRUE(configuration.displayName() && configuration.descriptionText());
  EXPECT_EQ(configuration.displayName()->key(), "Kadenzo");
  EXPECT_EQ(configuration.descriptionText()->key(), "Practice with Kadenzo");
}

TEST(TulWidget, ContentBuilderPassesTheEntryUnchanged) {
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.name = "Unchanged";
  melody.poly2 = 77;
  const SimpleEntry entry{foundation::Date(foundation::Date::TimePoint{std::chrono::microseconds(123456)}), melody};
  const TulWidgetEntryView view = TulWidget().body().content()(entry);
  EXPECT_EQ(view.entry.date, entry.date);
  EXPECT_EQ(view.entry.melody, entry.melody);
}

}  // namespace
}  // namespace tul
