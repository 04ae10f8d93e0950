// The extension as built, for what widget-host's goldens (tests/tools) do not show:
// the bundle's German table reaches the widgets answer. The widgets it lists, their
// order, the first-run default and the exit at end of input are in those goldens.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace tul {
namespace {

TEST(TulWidgetExtension, DescribesItsWidgetInGerman) {
  testing::TempPreferences prefs;
  const auto served =
      testing::run({TUL_EXTENSION_PATH}, R"({"jsonrpc":"2.0","id":2,"method":"widgets","params":{"locale":"de"}})"
                                         "\n");
  EXPECT_EQ(served.exitCode, 0);
  const auto widgets = nlohmann::json::parse(served.out);
  EXPECT_EQ(widgets["result"]["widgets"][0]["description"], "Übe mit Kadenzo") << served.out;
}

}  // namespace
}  // namespace tul
