// The expanded island's regions read back from the JSON the extension answers with.
#include <gtest/gtest.h>

#include "platform/render/render.h"

namespace tul {
namespace {

TEST(RegionsFromJSON, ReadsRegionsAndNamesWhatIsWrong) {
  const nlohmann::json text = {{"type", "Text"},
                               {"text", "1"},
                               {"key", "1"},
                               {"arguments", nlohmann::json::array()},
                               {"modifiers", nlohmann::json::array()}};
  const struct {
    std::string name;
    nlohmann::json regions;
    std::string mentions;
  } cases[] = {
      {"not a list", nlohmann::json::object(), "regions: expected an array"},
      {"unknown position", {{{"position", "top"}, {"priority", 0}, {"view", text}}}, "regions[0].position: unknown"},
      {"extra member", {{{"position", "center"}, {"view", text}, {"size", 3}}}, "regions[0].size: unexpected"},
      {"bad view",
       {{{"position", "center"}, {"view", text}}, {{"position", "bottom"}, {"view", {{"type", "Text"}}}}},
       "regions[1].view.text: missing"},
  };
  for (const auto& c : cases) {
    auto read = render::regionsFromJSON(c.regions);
    ASSERT_FALSE(read) << c.name;
    EXPECT_NE(read.error().message.find(c.mentions), std::string::npos) << c.name << ": " << read.error().message;
  }
  auto good = render::regionsFromJSON({{{"position", "trailing"}, {"priority", 1}, {"view", text}}});
  ASSERT_TRUE(good) << good.error().message;
  EXPECT_EQ(good->at(0).position, ui::ExpandedRegionPosition::trailing);
}

}  // namespace
}  // namespace tul
