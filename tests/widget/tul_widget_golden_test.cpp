// The home-screen widget's trees against their golden outlines (tests/golden).
#include <gtest/gtest.h>

#include <limits>

#include "golden/golden.h"
#include "platform/ui/tree_outline.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "widget/tul_widget_entry_view.h"

namespace tul {
namespace {

std::string outlineFor(bool isPlaylingList, std::string name, std::int64_t bpm, const ui::Localizer& localizer = {}) {
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.isPlaylingList = isPlaylingList;
  melody.name = std::move(name);
  melody.bpm = bpm;
  return ui::outline(TulWidgetEntryView{SimpleEntry{foundation::Date::now(), melody}}.body(), localizer);
}

TEST(TulWidgetGolden, EveryKindOfEntry) {
  // The default preset's tree is the placeholder in widget-host-commands.txt.
  testing::expectGolden("widget-playlist.txt", outlineFor(true, "Let it be", 96));
  testing::expectGolden("widget-playlist-without-name.txt", outlineFor(true, "", 60));
  testing::expectGolden("widget-not-a-playlist.txt", outlineFor(false, "Let it be", 0));
  testing::expectGolden("widget-lowest-tempo.txt", outlineFor(false, "x", std::numeric_limits<std::int64_t>::min()));
  // Values are never read as formats, and quotes and control characters are escaped.
  testing::expectGolden("widget-format-characters.txt", outlineFor(true, "100% \"%@\" %lld %1$@ %%\n\t\r", 180));
}

// The texts looked up in a table of the test's own: found; a positional specifier; an
// unknown specifier and one without a value left as written; the marking's key "%@"
// with no entry, so the key itself is the format; a language without a table.
TEST(TulWidgetGolden, TextsInTheChosenLanguage) {
  testing::TempPreferences scratch;  // a temporary folder for the bundle
  const auto bundleDir = scratch.root() / "Test.appex";
  testing::writeFile(bundleDir / "Resources/fr.lproj/Localizable.strings",
                     "\"Kadenzo\" = \"Kadenzo FR\";\n"
                     "\"%@ \" = \"« %1$@ »\";\n"
                     "\"%lld\" = \"%lld bpm %d %@\";\n");
  const ui::Localizer french{ui::Bundle(bundleDir), "fr"};
  const ui::Localizer german{ui::Bundle(bundleDir), "de"};
  testing::expectGolden(
      "TulWidgetGolden-localized.txt",
      outlineFor(true, "Solo", 72, french) + outlineFor(false, "", 120, french) + outlineFor(true, "Solo", 72, german));
}

}  // namespace
}  // namespace tul
