#include "widget/tul_widget.h"

#include <gtest/gtest.h>

#include "platform/ui/tree_json.h"

namespace tul {
namespace {

TEST(TulWidget, DeclaresKindNamesAndTheSmallFamilyOnly) {
  const TulWidget widget;
  EXPECT_EQ(widget.kind, "com.lumaro.TulWidget");
  for (int call = 0; call < 2; ++call) {
    const auto configuration = widget.body();
    EXPECT_EQ(configuration.kind(), "com.lumaro.TulWidget");
    ASSERT_TRUE(configuration.displayName());
    EXPECT_EQ(configuration.displayName()->key(), "Kadenzo");
    EXPECT_FALSE(configuration.displayName()->isFormat());
    ASSERT_TRUE(configuration.descriptionText());
    EXPECT_EQ(configuration.descriptionText()->key(), "Practice with Kadenzo");
    EXPECT_EQ(configuration.families(), std::vector{widgetkit::WidgetFamily::systemSmall});
  }
}

TEST(TulWidget, ContentBuilderPassesTheEntryUnchanged) {
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.name = "Unchanged";
  melody.poly2 = 77;
  const SimpleEntry entry{foundation::Date(foundation::Date::TimePoint{std::chrono::microseconds(123456)}), melody};
  const TulWidgetEntryView view = TulWidget().body().content()(entry);
  EXPECT_EQ(view.entry.date, entry.date);
  EXPECT_EQ(view.entry.melody, entry.melody);
  EXPECT_EQ(ui::toJSON(view.body()), ui::toJSON(TulWidgetEntryView{entry}.body()));
}

}  // namespace
}  // namespace tul
