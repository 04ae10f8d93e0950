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
struct TempBundle {
  tul::testing::TempPreferences scratch;
  fs::path root() const { return scratch.root(); }
  void write(const fs::path& relative, const std::string& contents) const {
    tul::testing::writeFile(root() / relative, contents);
  }
  void writeTable(const std::string& language, const std::string& contents,
                  const std::string& table = "Localizable") const {
    write(fs::path("Resources") / (language + ".lproj") / (table + ".strings"), contents);
  }
};

TEST(Bundle, LooksUpKeysAlongTheLanguageChain) {
  TempBundle folder;
  folder.writeTable("de", "\"Kadenzo\" = \"Kadenzo (DE)\";\n\"%lld/%lld\" = \"%2$lld von %1$lld\";\n");
  folder.writeTable("de-AT", "\"Free Beats\" = \"Freie Schläge\";\n");
  folder.writeTable("en", "\"Kadenzo\" = \"Kadenzo (EN)\";\n\"Automated Beats\" = \"Auto\";\n");
  folder.writeTable("Base", "\"Only base\" = \"from Base\";\n");
  folder.writeTable("de", "\"Kadenzo\" = \"Kadenzo (Info)\";\n", "InfoPlist");
  const Bundle bundle(folder.root());

  struct Case {
    const char* language;
    const char* key;
    const char* table;
    const char* expected;
  };
  const std::vector<Case> cases = {
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
  };
  // The bundle keeps the tables searched for the last language and table asked: the
  // cases run forwards and backwards, so that each follows a different pair.
  for (const bool backwards : {false, true}) {
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const Case& c = cases[backwards ? cases.size() - 1 - i : i];
      EXPECT_EQ(bundle.localizedString(c.key, c.language, c.table), c.expected)
          << c.language << " / " << c.table << " / " << c.key;
    }
  }
}

TEST(Bundle, FillsTranslatedFormats) {
  TempBundle folder;
  folder.writeTable("de",
                    "\"%lld/%lld\" = \"%2$lld von %1$lld\";\n"
                    "\"%@ \" = \"»%@«\";\n"
                    "\"%@ at %lld\" = \"%2$lld: %1$@ (%3$@)\";\n"
                    "\"Kadenzo\" = \"100%% Kadenzo\";\n");
  const Localizer german{Bundle(folder.root()), "de"};
  struct Case {
    const char* name;
    LocalizedStringKey key;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"positional reorder", LocalizedStringKey::interpolated({Arg::integer(3), "/", Arg::integer(4)}), "4 von 3"},
      {"string value kept literally", LocalizedStringKey::interpolated({Arg::string("50% %@"), " "}), "»50% %@«"},
      {"missing argument shown", LocalizedStringKey::interpolated({Arg::string("Song"), " at ", Arg::integer(60)}),
       "60: Song (%3$@)"},
      {"literal key is not formatted", LocalizedStringKey("Kadenzo"), "100%% Kadenzo"},
      {"untranslated key is its own format", LocalizedStringKey::interpolated({"n=", Arg::integer(-1)}), "n=-1"},
  };
  for (const auto& c : cases) EXPECT_EQ(german.resolve(c.key), c.expected) << c.name;
}

TEST(Bundle, ReportsBrokenTablesAndShowsKeys) {
  TempBundle folder;
  folder.writeTable("de", "\"Kadenzo\" = \"Kadenzo DE\"\n\"x\" = \"y\";\n");
  folder.writeTable("en", "\"Kadenzo\" = \"Kadenzo EN\";\n");
  fs::create_directories(folder.root() / "Resources" / "fr.lproj" / "Localizable.strings");
  const Bundle bundle(folder.root());

  auto broken = bundle.stringsTable("Localizable", "de");
  ASSERT_FALSE(broken.has_value());
  EXPECT_NE(broken.error().message.find("Localizable.strings:2:1: expected ';'"), std::string::npos)
      << broken.error().message;
  EXPECT_EQ(broken.error().line, 2U);

  auto folderInstead = bundle.stringsTable("Localizable", "fr");
  ASSERT_FALSE(folderInstead.has_value());
  EXPECT_NE(folderInstead.error().message.find("not a regular file"), std::string::npos);

  auto missing = bundle.stringsTable("Localizable", "it");
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(*missing, nullptr);

  // A table that cannot be read counts as missing: the next language answers.
  EXPECT_EQ(bundle.localizedString("Kadenzo", "de"), "Kadenzo EN");
  EXPECT_EQ(bundle.localizedString("Kadenzo", "fr"), "Kadenzo EN");
}

TEST(Bundle, ReadsEachTableOnceAndSharesItAcrossCopiesAndThreads) {
  TempBundle folder;
  folder.writeTable("en", "\"Kadenzo\" = \"first\";\n");
  const Bundle bundle(folder.root());
  const Bundle copy = bundle;

  std::vector<std::thread> threads;
  std::vector<std::string> seen(8);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] { seen[i] = (i % 2 ? copy : bundle).localizedString("Kadenzo", "en"); });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& text : seen) EXPECT_EQ(text, "first");

  // Resources do not change while the process runs: a later edit is not read.
  folder.writeTable("en", "\"Kadenzo\" = \"second\";\n");
  EXPECT_EQ(copy.localizedString("Kadenzo", "en"), "first");
  EXPECT_EQ(Bundle(folder.root()).localizedString("Kadenzo", "en"), "second");
}

TEST(Bundle, FindsImagesAndTheMainBundle) {
  TempBundle folder;
  folder.write("Resources/background.png", "not really a png");
  const Bundle bundle(folder.root());
  EXPECT_EQ(bundle.pathForImage("background"), folder.root() / "Resources" / "background.png");
  for (auto name : {"missing", "../Resources/background", ""}) EXPECT_EQ(bundle.pathForImage(name), std::nullopt);

  // The main bundle is the folder of this test executable, found once.
  EXPECT_EQ(Bundle::main().path(), fs::read_symlink("/proc/self/exe").parent_path());
}

}  // namespace
}  // namespace ui
