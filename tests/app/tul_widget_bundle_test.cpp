// The installed extension serves the bundle's own string tables. What the bundle
// declares, and how it serves and ends, widget-host's tests and the protocol faults
// suite check through the same executable.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace tul {
namespace {

TEST(TulWidgetExtension, AnswersInTheLanguageAskedForFromItsBundle) {
  testing::TempPreferences prefs;
  const auto served =
      testing::run({TUL_EXTENSION_PATH}, R"({"jsonrpc":"2.0","id":2,"method":"widgets","params":{"locale":"de"}})"
                                         "\n");
  EXPECT_EQ(served.exitCode, 0);
  const auto widgets = nlohmann::json::parse(served.out);
  EXPECT_EQ(widgets["result"]["widgets"][0]["description"], "Übe mit Kadenzo") << "the bundle's own German table";
}

}  // namespace
}  // namespace tul
