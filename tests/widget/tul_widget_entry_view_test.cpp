// What the widget's tree is made of besides its outline (tul_widget_golden_test.cpp).
#include "widget/tul_widget_entry_view.h"

#include <gtest/gtest.h>

#include "images/shared_images.h"
#include "platform/ui/tree_json.h"
#include "support/files.h"
#include "support/temp_folder.h"

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

TEST(TulWidgetEntryView, TextsAreLookedUpInTheChosenLanguage) {
  testing::TempPreferences scratch;  // a temporary folder for the bundle
  const auto bundleDir = scratch.root() / "Test.appex";
  testing::writeFile(bundleDir / "Resources/fr.lproj/Localizable.strings",
                     "\"Kadenzo\" = \"Kadenzo FR\";\n"
                     "\"%@ \" = \"« %1$@ »\";\n"
                     "\"%lld\" = \"%lld bpm %d %@\";\n");
  const ui::Localizer french{ui::Bundle(bundleDir), "fr"};
  const ui::Localizer german{ui::Bundle(bundleDir), "de"};
  const struct {
    const ui::Localizer* localizer;
    SimpleEntry entry;
    std::vector<std::string> texts;
  } cases[] = {
      // found; positional specifier; an unknown specifier and one without a value stay as written
      {&french, entryWith(true, "Solo", 72), {"Kadenzo FR", "72 bpm %d %@", "« Solo »"}},
      // the marking's key "%@" has no entry: the key itself is the format
      {&french, entryWith(false, "", 120), {"Kadenzo FR", "120 bpm %d %@", "Allegro"}},
      // a language without a table falls back to the keys
      {&german, entryWith(true, "Solo", 72), {"Kadenzo", "72", "Solo "}},
  };
  for (const auto& c : cases) {
    const auto json = ui::toJSON(TulWidgetEntryView{c.entry}.body(), *c.localizer);
    const auto& middle = json["children"][2]["children"];
    EXPECT_EQ((std::vector<std::string>{json["children"][0]["text"], middle[0]["text"], middle[1]["text"]}), c.texts);
  }
}

}  // namespace
}  // namespace tul
