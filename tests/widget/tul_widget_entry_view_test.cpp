#include <gtest/gtest.h>

#include <limits>

#include "images/shared_images.h"
#include "platform/ui/tree_json.h"
#include "platform/ui/tree_outline.h"
#include "support/temp_preferences.h"
#include "support/tree_probe.h"
#include "widget/tul_widget_entry_view.h"

namespace tul {
namespace {

using Shown = std::vector<std::string>;

SimpleEntry entryWith(bool isPlaylingList, std::string name, std::int64_t bpm) {
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.isPlaylingList = isPlaylingList;
  melody.name = std::move(name);
  melody.bpm = bpm;
  return SimpleEntry{foundation::Date::now(), melody};
}

Shown shownFor(const SimpleEntry& entry, const ui::Localizer& localizer = {}) {
  return testing::shown(ui::toJSON(TulWidgetEntryView{entry}.body(), localizer));
}

TEST(TulWidgetEntryView, DefaultPresetTree) {
  const auto entry = SimpleEntry{foundation::Date::now(), MiniMelody::defaultMelody()};
  EXPECT_EQ(ui::outline(TulWidgetEntryView{entry}.body()),
            "VStack(alignment: center) .padding(all) .foregroundColor(white) "
            ".frame(maxWidth: infinity, maxHeight: infinity) .background\n"
            "  Text \"Kadenzo\" [font: caption]\n"
            "  Spacer\n"
            "  Conditional(branch: false)\n"
            "    Text \"120\" [font: largeTitle, fontWeight: heavy]\n"
            "    Text \"Allegro\"\n"
            "  Spacer\n"
            "  Image(systemName: \"play.fill\") .font(largeTitle)\n"
            "  .background:\n"
            "    ZStack(alignment: center)\n"
            "      Image(\"background\") [resizable] .aspectRatio(fill) .overlay(Material thin) "
            ".overlay(Color cyan.opacity(0.6))\n");
}

TEST(TulWidgetEntryView, MiddleTextsFollowTheBranchCondition) {
  const auto kMin = std::numeric_limits<std::int64_t>::min();
  const struct {
    bool isPlaylingList;
    std::string name;
    std::int64_t bpm;
    std::string tempo;
    std::string second;
  } cases[] = {
      {true, "Let it be", 120, "120", "Let it be "},  // a playlist entry: the name and one space
      {true, "", 120, "120", "Allegro"},              // no name: the marking
      {false, "Let it be", 60, "60", "Adagio"},       // not a playlist entry: the marking
      {false, "", 0, "0", "Larghissimo"},
      {true, "Solo", -40, "-40", "Solo "},
      {false, "x", kMin, "-9223372036854775808", "Larghissimo"},
      {true, "100%", 180, "180", "100% "},  // values are never read as formats
      {true, "%@ %lld %1$@ %%", 90, "90", "%@ %lld %1$@ %% "},
  };
  for (const auto& c : cases) {
    const Shown expected = {"Kadenzo", c.tempo, c.second, "symbol:play.fill", "image:background"};
    EXPECT_EQ(shownFor(entryWith(c.isPlaylingList, c.name, c.bpm)), expected) << c.name << " " << c.bpm;
  }
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
  const ui::Image* symbol = nullptr;
  for (const auto& child : tree.children()) {
    if (const auto* image = child.as<ui::Image>()) symbol = image;
  }
  ASSERT_NE(symbol, nullptr);
  EXPECT_TRUE(symbol->sameInstance(playImage()));
  EXPECT_TRUE(playImage().sameInstance(playImage()));
  EXPECT_FALSE(playImage().sameInstance(pauseImage()));
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
    Shown texts;
  } cases[] = {
      // found; positional specifier; an unknown specifier and one without a value stay as written
      {&french, entryWith(true, "Solo", 72), {"Kadenzo FR", "72 bpm %d %@", "« Solo »"}},
      // the marking's key "%@" has no entry: the key itself is the format
      {&french, entryWith(false, "", 120), {"Kadenzo FR", "120 bpm %d %@", "Allegro"}},
      // a language without a table falls back to the keys
      {&german, entryWith(true, "Solo", 72), {"Kadenzo", "72", "Solo "}},
  };
  for (const auto& c : cases) {
    Shown texts = shownFor(c.entry, *c.localizer);
    texts.resize(3);
    EXPECT_EQ(texts, c.texts);
  }
}

}  // namespace
}  // namespace tul
