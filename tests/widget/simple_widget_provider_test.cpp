// What widget-host's tests cannot see of SimpleWidgetProvider: each completion runs
// once, before the call returns; every entry is dated at the request; placeholder and
// snapshot carry the default whatever is stored, and no answer depends on the context.
// The single entry, its reload policy and the default when nothing is stored are in
// widget-host's goldens.
#include "widget/simple_widget_provider.h"

#include <gtest/gtest.h>

#include "platform/foundation/user_defaults.h"
#include "support/temp_folder.h"

namespace tul {
namespace {

constexpr const char* kStored =
    R"({"isPlaylingList":true,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":61,"note":4,"beat":4,)"
    R"("subdivision":"0","acc":"2000","name":"Stored","rythmMode":0,"id":"AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE"})";

TEST(SimpleWidgetProvider, OnlyTheTimelineReadsTheStoreAndEachAnswerComesOnceDatedNow) {
  testing::TempPreferences prefs;
  auto suite = foundation::UserDefaults::make(kSharedSuiteName);
  ASSERT_TRUE(suite && suite->set({foundation::dataFromString(kStored)}, kSharedPresetKey));
  const widgetkit::TimelineProviderContext preview{widgetkit::WidgetFamily::systemLarge, {364, 382}, true, "de"};
  const SimpleWidgetProvider provider;
  for (const auto& context : {widgetkit::TimelineProviderContext{}, preview}) {
    const auto before = foundation::Date::now();
    std::vector<SimpleEntry> entries = {provider.placeholder(context)};
    provider.getSnapshot(context, [&](SimpleEntry entry) { entries.push_back(std::move(entry)); });
    provider.getTimeline(context, [&](widgetkit::Timeline<SimpleEntry> timeline) {
      entries.insert(entries.end(), timeline.entries.begin(), timeline.entries.end());
    });
    ASSERT_EQ(entries.size(), 3u) << "each completion once, before the call returned";
    for (const auto& entry : entries) {
      EXPECT_GE(entry.date, before);
      EXPECT_LE(entry.date, foundation::Date::now());
    }
    EXPECT_EQ(entries[0].melody, MiniMelody::defaultMelody());
    EXPECT_EQ(entries[1].melody, MiniMelody::defaultMelody());
    EXPECT_EQ(entries[2].melody.name, "Stored");
  }
}

}  // namespace
}  // namespace tul
