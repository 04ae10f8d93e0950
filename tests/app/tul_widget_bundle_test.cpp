#include "app/tul_widget_bundle.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace tul {
namespace {

TEST(TulWidgetBundle, DeclaresTheHomeScreenWidgetThenTheLiveActivity) {
  const auto widgets = widgetkit::bundleWidgets(TulWidgetBundle{});
  ASSERT_EQ(widgets.size(), 2u);
  const auto* home = std::get_if<widgetkit::StaticWidget>(&widgets[0]);
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(home->kind, "com.lumaro.TulWidget");
  EXPECT_EQ(home->families, std::vector{widgetkit::WidgetFamily::systemSmall});
  const auto* activity = std::get_if<widgetkit::ActivityWidget>(&widgets[1]);
  ASSERT_NE(activity, nullptr);
  EXPECT_EQ(activity->attributesType, "TulWidgetAttributes");
}

TEST(TulWidgetExtension, ServesUntilInputClosesThenExitsZero) {
  testing::TempPreferences prefs;
  const auto quiet = testing::run({TUL_EXTENSION_PATH});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.out, "");

  const auto served = testing::run(
      {TUL_EXTENSION_PATH}, R"({"jsonrpc":"2.0","id":1,"method":"timeline","params":{"kind":"com.lumaro.TulWidget"}})"
                            "\n"
                            R"({"jsonrpc":"2.0","id":2,"method":"widgets","params":{"locale":"de"}})"
                            "\n");
  EXPECT_EQ(served.exitCode, 0);
  const auto newline = served.out.find('\n');
  ASSERT_NE(newline, std::string::npos) << served.out;
  const auto timeline = nlohmann::json::parse(served.out.substr(0, newline));
  const auto& view = timeline["result"]["entries"][0]["view"];
  EXPECT_EQ(view["children"][2]["children"][0]["text"], "120");
  EXPECT_EQ(view["children"][2]["children"][1]["text"], "Allegro");
  const auto widgets = nlohmann::json::parse(served.out.substr(newline + 1));
  EXPECT_EQ(widgets["result"]["widgets"][0]["description"], "Übe mit Kadenzo") << "the bundle's own German table";
  EXPECT_TRUE(std::filesystem::exists(prefs.suiteFile("group.com.quenova.tul"))) << "the default was written back";
}

}  // namespace
}  // namespace tul
