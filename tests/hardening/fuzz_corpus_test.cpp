// The fuzz targets' committed inputs, replayed through the same checks in the normal
// build: the seed corpora (fuzz/corpus/<target>/) and every input that once broke a
// property (fuzz/regressions/<target>/), so what fuzzing found stays fixed.

#include <gtest/gtest.h>

#include <functional>

#include "input_checks.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul::fuzzing {
namespace {

namespace fs = std::filesystem;

TEST(FuzzCorpus, EveryCommittedInputKeepsItsProperties) {
  testing::TempPreferences prefs;  // timeline requests load the shared preset
  const ProtocolRequestCheck protocol(TUL_EXTENSION_BUNDLE_DIR);
  const struct {
    std::string target;
    std::function<CheckResult(std::string_view)> check;
  } targets[] = {
      {"preset_json", checkPresetJson},
      {"activity_records", checkActivityRecords},
      {"strings_table", checkStringsTable},
      {"string_format", checkStringFormat},
      {"protocol_request", [&](std::string_view input) { return protocol(input); }},
  };
  for (const auto& t : targets) {
    std::size_t inputs = 0;
    for (const char* set : {"corpus", "regressions"}) {
      const fs::path folder = fs::path(TUL_FUZZ_DIR) / set / t.target;
      if (!fs::is_directory(folder)) continue;
      for (const auto& entry : fs::directory_iterator(folder)) {
        const auto failure = t.check(testing::readFile(entry.path()));
        EXPECT_FALSE(failure) << entry.path().string() << ": " << failure.value_or("");
        ++inputs;
      }
    }
    EXPECT_GE(inputs, 10u) << t.target << ": its seed corpus is missing";
  }
}

}  // namespace
}  // namespace tul::fuzzing
