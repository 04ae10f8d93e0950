// Bundles on real folders: strings looked up along the language chain and filled,
// broken tables reported and skipped, tables read once and shared, images found.
#include "platform/ui/bundle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/localizer.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace ui {
namespace {

namespace fs = std::filesystem;

// A bundle folder under a temporary folder, removed at the end.
struct TempBundle : tul::testing::TempFolder {
  void writeTable(const std::string& language, const std::string& contents,
                  const std::string& table = "Localizable") const {
    tul::testing::writeFile(path() / "Resources" / (language + ".lproj") / (table + ".strings"), contents);
  }
};

TEST(Bundle, LooksUpKeysAlongTheLanguageChainFillsFormatsAndReportsBrokenTables) {
  TempBundle folder;
  folder.writeTable("de",
                    "\"Kadenzo\" = \"Kadenzo (DE)\";\n\"%lld/%lld\" = \"%2$lld von %1$lld\";\n"
                    "\"%@ \" = \"»%@«\";\n\"%@ at %lld\" = \"%2$lld: %1$@ (%3$@)\";\n\"100%\" = \"100%% voll\";\n");
  folder.writeTable("de-AT", "\"Free Beats\" = \"Freie Schläge\";\n");
  folder.writeTable("en", "\"Kadenzo\" = \"Kadenzo (EN)\";\n\"Automated Beats\" = \"Auto\";\n");
  folder.writeTable("Base", "\"Only base\" = \"from Base\";\n");
  folder.writeTable("de", "\"Kadenzo\" = \"Kadenzo (Info)\";\n", "InfoPlist");
  folder.writeTable("de", "\"Kadenzo\" = \"Kadenzo DE\"\n\"x\" = \"y\";\n", "Broken");
  folder.writeTable("en", "\"Kadenzo\" = \"Kadenzo EN\";\n", "Broken");
  fs::create_directories(folder.path() / "Resources" / "fr.lproj" / "Broken.strings");
  const Bundle bundle(folder.path());

  const struct {
    const char* language;
    const char* key;
    const char* table;
    const char* expected;
  } cases[] = {
      {"de", "Kadenzo", "Localizable", "Kadenzo (DE)"},
      {"de", "Automated Beats", "Localizable", "Auto"},         // falls back to en
      {"de", "Only base", "Localizable", "from Base"},          // then to Base
      {"de", "Nowhere", "Localizable", "Nowhere"},              // the key itself
      {"de-AT", "Free Beats", "Localizable", "Freie Schläge"},  // the regional table
      {"de-AT", "Kadenzo", "Localizable", "Kadenzo (DE)"},      // then its base language
      {"fr", "Kadenzo", "Localizable", "Kadenzo (EN)"},         // no table: en
      {"en", "Free Beats", "Localizable", "Free Beats"},
      {"de", "Kadenzo", "InfoPlist", "Kadenzo (Info)"},  // another table by name
      {"en", "Kadenzo", "InfoPlist", "Kadenzo"},
      {"../de", "Kadenzo", "Localizable", "Kadenzo (EN)"},      // not a language: skipped
      {"de", "Kadenzo", "../de.lproj/Localizable", "Kadenzo"},  // not a table name
      {"de", "Kadenzo", "Broken", "Kadenzo EN"},                // a table that cannot be read counts as missing
      {"fr", "Kadenzo", "Broken", "Kadenzo EN"},                // a folder in its place too
  };
  // The bundle keeps the tables searched for the last language and table asked: the
  // cases run forwards and backwards, so that each follows a different pair.
  const std::size_t count = std::size(cases);
  for (std::size_t i = 0; i < 2 * count; ++i) {
    const auto& c = cases[i < count ? i : 2 * count - 1 - i];
    EXPECT_EQ(bundle.localizedString(c.key, c.language, c.table), c.expected)
        << c.language << " / " << c.table << " / " << c.key;
  }

  const Localizer german{bundle, "de"};
  const std::pair<LocalizedStringKey, const char*> formats[] = {
      {LocalizedStringKey::interpolated({Arg::integer(3), "/", Arg::integer(4)}), "4 von 3"},  // reordered
      {LocalizedStringKey::interpolated({Arg::string("50% %@"), " "}), "»50% %@«"},            // a value kept literally
      {LocalizedStringKey::interpolated({Arg::string("Song"), " at ", Arg::integer(60)}), "60: Song (%3$@)"},
      {LocalizedStringKey("100%"), "100%% voll"},                            // a literal key is not formatted
      {LocalizedStringKey::interpolated({"n=", Arg::integer(-1)}), "n=-1"},  // untranslated: its own format
  };
  for (const auto& [key, expected] : formats) EXPECT_EQ(german.resolve(key), expected) << key.key();

  // Broken tables are reported by file, line and column.
  auto broken = bundle.stringsTable("Broken", "de");
  ASSERT_FALSE(broken.has_value());
  EXPECT_NE(broken.error().message.find("Broken.strings:2:1: expected ';'"), std::string::npos)
      << broken.error().message;
  EXPECT_EQ(broken.error().line, 2U);
  auto folderInstead = bundle.stringsTable("Broken", "fr");
  ASSERT_FALSE(folderInstead.has_value());
  EXPECT_NE(folderInstead.error().message.find("not a regular file"), std::string::npos);
  EXPECT_EQ(bundle.stringsTable("Localizable", "it").value(), nullptr);
}

TEST(Bundle, ReadsEachTableOnceAndSharesItAcrossCopiesAndThreads) {
  TempBundle folder;
  folder.writeTable("en", "\"Kadenzo\" = \"first\";\n");
  const Bundle bundle(folder.path());
  const Bundle copy = bundle;

  std::vector<std::thread> threads;
  std::vector<std::string> seen(8);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] { seen[i] = (i % 2 ? copy : bundle).localizedString("Kadenzo", "en"); });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(seen, std::vector<std::string>(8, "first"));

  // Resources do not change while the process runs: a later edit is not read.
  folder.writeTable("en", "\"Kadenzo\" = \"second\";\n");
  EXPECT_EQ(copy.localizedString("Kadenzo", "en"), "first");
  EXPECT_EQ(Bundle(folder.path()).localizedString("Kadenzo", "en"), "second");
}

TEST(Bundle, FindsImagesAndTheMainBundle) {
  TempBundle folder;
  tul::testing::writeFile(folder.path() / "Resources/background.png", "not really a png");
  const Bundle bundle(folder.path());
  EXPECT_EQ(bundle.pathForImage("background"), folder.path() / "Resources" / "background.png");
  for (auto name : {"missing", "../Resources/background", ""}) EXPECT_EQ(bundle.pathForImage(name), std::nullopt);

  // The main bundle is the folder of this test executable, found once.
  EXPECT_EQ(Bundle::main().path(), fs::read_symlink("/proc/self/exe").parent_path());
}

}  // namespace
}  // namespace ui
