// The widget host's path end to end: the real extension process answers over a real
// pipe, its trees are read back from JSON, laid out and written as pictures.
#include <cairo.h>
#include <gtest/gtest.h>

#include <sstream>

#include "platform/render/render.h"
#include "platform/ui/tree_json_reader.h"
#include "support/child_process.h"
#include "support/temp_preferences.h"

namespace tul {
namespace {

std::string base64(const std::string& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t chunk = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      chunk = chunk << 8 | (k < n ? static_cast<std::uint8_t>(bytes[i + k]) : 0U);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(chunk >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

std::vector<nlohmann::json> ask(const std::vector<nlohmann::json>& requests) {
  std::string input;
  for (const auto& request : requests) input += request.dump() + "\n";
  const testing::ProcessResult result = testing::runProcess({TUL_EXTENSION_PATH}, input);
  EXPECT_EQ(result.exitCode, 0);
  std::vector<nlohmann::json> answers;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) answers.push_back(nlohmann::json::parse(line));
  return answers;
}

nlohmann::json request(int id, const std::string& method, nlohmann::json params) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
}

TEST(ExtensionPictures, EveryAnswerOfTheExtensionBecomesAPicture) {
  testing::TempPreferences preferences;  // no preset stored: the default one
  const nlohmann::json widget = {{"kind", "com.lumaro.TulWidget"}};
  const std::string state =
      R"({"tempo":132,"beat":3,"note":4,"melodyName":"Waltz","isPlaying":true,"isAutomated":false})";
  const auto answers = ask({
      request(1, "placeholder", widget),
      request(2, "snapshot", widget),
      request(3, "timeline", widget),
      request(4, "activity", {{"attributes", base64(R"({"name":"Practice"})")}, {"state", base64(state)}}),
  });
  ASSERT_EQ(answers.size(), 4U);

  struct Picture {
    std::string name;
    std::expected<void, render::RenderError> written;
    std::pair<int, int> pixels;
  };
  std::vector<Picture> pictures;
  const ui::Bundle bundle(TUL_EXTENSION_BUNDLE_DIR);
  const auto out = [&](const std::string& name) { return preferences.root() / (name + ".png"); };
  const auto drawTree = [&](const std::string& name, const nlohmann::json& tree, ui::Surface surface) {
    auto view = ui::fromJSON(tree);
    ASSERT_TRUE(view) << name << ": " << view.error().describe();
    auto layout = render::layOut(*view, surface, bundle);
    ASSERT_TRUE(layout) << name << ": " << layout.error().message;
    pictures.push_back({name,
                        render::renderToFile(*layout, render::ImageFormat::png, 2, out(name)),
                        {std::lround(layout->size.width * 2), std::lround(layout->size.height * 2)}});
  };
  drawTree("placeholder", answers[0]["result"]["entry"]["view"], ui::Surface::smallWidget);
  drawTree("snapshot", answers[1]["result"]["entry"]["view"], ui::Surface::smallWidget);
  drawTree("timeline", answers[2]["result"]["entries"][0]["view"], ui::Surface::smallWidget);
  for (const auto& presentation : answers[3]["result"]["presentations"]) {
    const std::string name = presentation["presentation"];
    if (name == "expanded") {
      auto regions = render::regionsFromJSON(presentation["regions"]);
      ASSERT_TRUE(regions) << regions.error().message;
      auto layout = render::layOut(*regions, bundle);
      ASSERT_TRUE(layout) << layout.error().message;
      pictures.push_back({name,
                          render::renderToFile(*layout, render::ImageFormat::png, 2, out(name)),
                          {816, std::lround(layout->size.height * 2)}});
      continue;
    }
    const std::optional<ui::Surface> surface = ui::surfaceNamed(name);
    ASSERT_TRUE(surface) << name;
    drawTree(name, presentation["view"], *surface);
  }
  ASSERT_EQ(pictures.size(), 8U);  // three widget answers, five presentations

  for (const Picture& picture : pictures) {
    ASSERT_TRUE(picture.written) << picture.name << ": " << picture.written.error().message;
    cairo_surface_t* decoded = cairo_image_surface_create_from_png(out(picture.name).c_str());
    EXPECT_EQ(cairo_surface_status(decoded), CAIRO_STATUS_SUCCESS) << picture.name;
    EXPECT_EQ(cairo_image_surface_get_width(decoded), picture.pixels.first) << picture.name;
    EXPECT_EQ(cairo_image_surface_get_height(decoded), picture.pixels.second) << picture.name;
    cairo_surface_destroy(decoded);
  }
  EXPECT_EQ(pictures[0].pixels, (std::pair<int, int>{340, 340}));
}

TEST(ExtensionPictures, RegionsFromJSONNameWhatIsWrong) {
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
