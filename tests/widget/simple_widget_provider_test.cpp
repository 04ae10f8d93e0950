#include "widget/simple_widget_provider.h"

#include <gtest/gtest.h>

#include "platform/foundation/user_defaults.h"
#include "support/temp_folder.h"

namespace tul {
namespace {

constexpr const char* kStored =
    R"({"isPlaylingList":true,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":61,"note":4,"beat":4,)"
    R"("subdivision":"0","acc":"2000","name":"Stored","rythmMode":0,"id":"AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE"})";

class SimpleWidgetProviderTest : public ::testing::Test {
 protected:
  testing::TempPreferences prefs;
  SimpleWidgetProvider provider;

  void storePreset() {
    auto suite = foundation::UserDefaults::make(kSharedSuiteName);
    ASSERT_TRUE(suite);
    ASSERT_TRUE(suite->set({foundation::dataFromString(kStored)}, kSharedPresetKey));
  }

  // Calls getTimeline or getSnapshot and checks that the completion ran once, before the call returned.
  template <typename Result, typename Call>
  Result once(Call call) {
    std::optional<Result> result;
    int calls = 0;
    call([&](Result r) {
      ++calls;
      result.emplace(std::move(r));
    });
    EXPECT_EQ(calls, 1);
    return std::move(*result);
  }
  widgetkit::Timeline<SimpleEntry> timeline(const widgetkit::TimelineProviderContext& context = {}) {
    return once<widgetkit::Timeline<SimpleEntry>>([&](auto done) { provider.getTimeline(context, done); });
  }
  SimpleEntry snapshot(const widgetkit::TimelineProviderContext& context = {}) {
    return once<SimpleEntry>([&](auto done) { provider.getSnapshot(context, done); });
  }
};

TEST_F(SimpleWidgetProviderTest, TimelineIsOneEntryDatedNowWithPolicyNever) {
  const auto before = foundation::Date::now();
  const auto first = timeline();
  const auto after = foundation::Date::now();
  ASSERT_EQ(first.entries.size(), 1u);
  EXPECT_EQ(first.policy, widgetkit::TimelineReloadPolicy::never());
  EXPECT_GE(first.entries[0].date, before);
  EXPECT_LE(first.entries[0].date, after);
  EXPECT_EQ(first.entries[0].melody, MiniMelody::defaultMelody()) << "nothing stored: the default";

  storePreset();
  const auto second = timeline();
  ASSERT_EQ(second.entries.size(), 1u);
  EXPECT_EQ(second.entries[0].melody.name, "Stored");
  EXPECT_EQ(second.entries[0].melody.id.uuidString(), "AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE");
}

TEST_F(SimpleWidgetProviderTest, PlaceholderAndSnapshotCarryTheDefaultWhateverIsStored) {
  storePreset();
  widgetkit::TimelineProviderContext preview;
  preview.isPreview = true;
  preview.family = widgetkit::WidgetFamily::systemLarge;
  preview.displaySize = {364, 382};
  const SimpleEntry entries[] = {provider.placeholder({}), provider.placeholder(preview), snapshot({}),
                                 snapshot(preview)};
  for (const auto& entry : entries) {
    EXPECT_EQ(entry.melody, MiniMelody::defaultMelody());
  }
  EXPECT_EQ(timeline(preview).entries[0].melody.name, "Stored") << "the context is never read";
}

}  // namespace
}  // namespace tul
