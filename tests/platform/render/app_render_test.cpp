// The app's real trees laid out with the real font and drawn: the frames of the widget
// and of every Live Activity presentation in several states, compared with
// tests/golden/app-layouts.txt (written as golden/layout_frames.h describes), with
// every drawn thing inside its surface; the expanded island's regions read from JSON;
// and pictures written to real files in a temporary folder and decoded again: what
// the pixels show, and what is refused without leaving anything behind.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "activity/tul_widget_live_activity.h"
#include "golden/golden.h"
#include "golden/layout_frames.h"
#include "platform/render/painter.h"
#include "platform/render/render.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "widget/tul_widget_entry_view.h"

namespace tul {
namespace {

// The extension bundle that holds the trees' assets.
ui::Bundle extensionBundle() { return ui::Bundle(TUL_EXTENSION_BUNDLE_DIR); }

// The widget for the default preset at 120 BPM (its tempo shown as "120").
ui::View presetWidgetView() {
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.isPlaylingList = false;
  melody.name = "Let it be";
  melody.bpm = 120;
  return TulWidgetEntryView{SimpleEntry{foundation::Date::now(), melody}}.body();
}

TEST(AppLayoutGolden, WidgetAndActivityPresentations) {
  std::string out;
  const auto add = [&](const std::string& what, const auto& layout) {
    ASSERT_TRUE(layout) << what << ": " << layout.error().message;
    testing::writeLayout(out, what, *layout);
    const ui::Rect whole{0, 0, layout->size.width, layout->size.height};
    layout->forEach([&](const ui::PlacedView& view) {
      if (!std::holds_alternative<std::monostate>(view.content)) {
        EXPECT_TRUE(whole.contains(view.frame)) << what << ": " << view.type << " " << testing::rectText(view.frame);
      }
    });
  };
  const ui::Bundle bundle = extensionBundle();
  add("preset widget", render::layOut(presetWidgetView(), ui::Surface::smallWidget, bundle));
  // The Live Activity's five presentations while playing, paused, automated, with no
  // melody name and with a long one.
  const std::string longName = "An Extremely Long Melody Name That Does Not Fit Anywhere At All";
  const std::pair<std::string, TulWidgetAttributes::ContentState> states[] = {
      {"playing", {120, 4, 4, "Waltz", true, false}},    {"paused", {90, 3, 4, "Waltz", false, false}},
      {"automated", {140, 4, 4, "Waltz", true, true}},   {"no melody name", {60, 6, 8, std::nullopt, true, false}},
      {"long name", {180, 7, 8, longName, true, false}},
  };
  const auto configuration = TulWidgetLiveActivity().body();
  for (const auto& [name, state] : states) {
    const TulWidgetLiveActivity::Context context{TulWidgetAttributes{"Practice"}, state};
    const widgetkit::DynamicIsland island = configuration.dynamicIsland(context);
    add(name, render::layOut(configuration.lockScreen(context), ui::Surface::lockScreen, bundle));
    add(name, render::layOut(island.compactLeading(), ui::Surface::islandCompactLeading, bundle));
    add(name, render::layOut(island.compactTrailing(), ui::Surface::islandCompactTrailing, bundle));
    add(name, render::layOut(island.minimal(), ui::Surface::islandMinimal, bundle));
    std::vector<ui::ExpandedRegion> regions;
    for (const auto& region : island.expanded()) regions.push_back({region.position(), region.content()});
    add(name, render::layOut(regions, bundle));
  }
  testing::expectGolden("app-layouts.txt", out);
}

// The expanded island's regions read back from the JSON the extension answers with.
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

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) out.push_back(entry.path().filename());
  std::ranges::sort(out);
  return out;
}

struct Decoded {
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface;

  explicit Decoded(const std::filesystem::path& file)
      : surface(cairo_image_surface_create_from_png(file.c_str()), cairo_surface_destroy) {}
  bool ok() const { return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS; }

  // Red, green, blue (unpremultiplied) and alpha of one pixel, 0...255.
  std::array<int, 4> pixel(int x, int y) const {
    const unsigned char* row = cairo_image_surface_get_data(surface.get()) +
                               static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface.get());
    std::uint32_t value = 0;
    std::memcpy(&value, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
    const int alpha = static_cast<int>(value >> 24);
    const auto channel = [&](int shift) {
      const int premultiplied = static_cast<int>((value >> shift) & 0xFF);
      return alpha == 0 ? 0 : premultiplied * 255 / alpha;
    };
    return {channel(16), channel(8), channel(0), alpha};
  }
};

TEST(RenderFiles, WidgetPictureIsWhiteOnFrostedCyanWithRoundedCorners) {
  testing::TempFolder folder;
  const ui::View view = presetWidgetView();
  const auto file = folder.path() / "widget.png";
  ASSERT_TRUE(
      render::renderToFile(view, ui::Surface::smallWidget, render::ImageFormat::png, 3, extensionBundle(), file));
  const Decoded picture(file);
  ASSERT_TRUE(picture.ok());
  EXPECT_EQ(picture.pixel(0, 0)[3], 0) << "the corner is cut round";
  EXPECT_EQ(picture.pixel(509, 509)[3], 0) << "the corner is cut round";
  const auto background = picture.pixel(20, 255);  // left of the texts, inside the widget
  EXPECT_EQ(background[3], 255);
  EXPECT_GT(background[2], background[0] + 40) << "cyan-blue, not grey";
  EXPECT_GT(background[0], 40) << "lightened by the frosted layer";

  // The tempo's glyphs are white.
  const ui::LayoutResult layout = *render::layOut(view, ui::Surface::smallWidget, extensionBundle());
  const ui::Rect tempo = layout.findText("120")->frame;
  int brightest = 0;
  for (int y = static_cast<int>(tempo.minY() * 3); y < static_cast<int>(tempo.maxY() * 3); ++y) {
    for (int x = static_cast<int>(tempo.minX() * 3); x < static_cast<int>(tempo.maxX() * 3); ++x) {
      const auto p = picture.pixel(x, y);
      brightest = std::max(brightest, std::min({p[0], p[1], p[2]}));
    }
  }
  EXPECT_GE(brightest, 250);
}

TEST(RenderFiles, WritesWholeFilesOnlyAndReplacesOnlyWhenAsked) {
  testing::TempFolder folder;
  const ui::View view = presetWidgetView();
  const ui::Bundle bundle = extensionBundle();
  const auto target = folder.path() / "widget.png";
  testing::writeFile(target, "keep me");

  auto refused = render::renderToFile(view, ui::Surface::smallWidget, render::ImageFormat::png, 3, bundle, target);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, render::RenderError::Kind::output);
  EXPECT_NE(refused.error().message.find("already exists"), std::string::npos) << refused.error().message;
  EXPECT_EQ(testing::readFile(target), "keep me");

  auto replaced = render::renderToFile(view, ui::Surface::smallWidget, render::ImageFormat::png, 3, bundle, target,
                                       foundation::Overwrite::replace);
  ASSERT_TRUE(replaced) << replaced.error().message;
  EXPECT_TRUE(Decoded(target).ok());

  const struct {
    std::string name;
    std::filesystem::path out;
    double scale;
    render::RenderError::Kind kind;
    std::string mentions;
  } failures[] = {
      {"no such folder", folder.path() / "missing" / "widget.png", 3, render::RenderError::Kind::output,
       "cannot create a temporary file"},
      {"a folder as the file", folder.path(), 3, render::RenderError::Kind::output, "is a directory"},
      {"scale zero", folder.path() / "zero.png", 0, render::RenderError::Kind::argument, "scale"},
      {"scale not a number", folder.path() / "nan.png", std::numeric_limits<double>::quiet_NaN(),
       render::RenderError::Kind::argument, "scale"},
      {"scale too large", folder.path() / "huge.png", 100, render::RenderError::Kind::argument, "scale"},
  };
  for (const auto& f : failures) {
    auto result =
        render::renderToFile(view, ui::Surface::smallWidget, render::ImageFormat::png, f.scale, bundle, f.out);
    ASSERT_FALSE(result) << f.name;
    EXPECT_EQ(result.error().kind, f.kind) << f.name;
    EXPECT_NE(result.error().message.find(f.mentions), std::string::npos) << f.name << ": " << result.error().message;
  }
  // Only the finished picture is there: no temporary files, nothing from the failures.
  EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"widget.png"});
}

TEST(RenderFiles, ReportsViewsThatCannotBeDrawn) {
  testing::TempFolder folder;
  const ui::Bundle empty(folder.path() / "Empty.appex");
  std::vector<ui::View> frosted(render::kMaxMaterials + 1, ui::View(ui::Material::thin));
  std::vector<ui::View> crowd(render::kMaxDrawnViews + 1, ui::View(ui::Color::red));
  const struct {
    std::string name;
    ui::View view;
    render::RenderError::Kind kind;
    std::string mentions;
  } cases[] = {
      {"the bundle lacks the background", presetWidgetView(), render::RenderError::Kind::image,
       "\"background\" not found"},
      {"an unknown symbol", ui::HStack({ui::Image::systemName("bell")}), render::RenderError::Kind::layout,
       "$.children[0]: unknown symbol \"bell\""},
      {"too many materials", ui::ZStack(frosted), render::RenderError::Kind::drawing,
       std::to_string(render::kMaxMaterials + 1) + " materials"},
      {"too many views", ui::ZStack(crowd), render::RenderError::Kind::drawing,
       std::to_string(render::kMaxDrawnViews + 1) + " views that draw"},
  };
  for (const auto& c : cases) {
    const auto out = folder.path() / "picture.svg";
    auto result = render::renderToFile(c.view, ui::Surface::smallWidget, render::ImageFormat::svg, 3, empty, out);
    ASSERT_FALSE(result) << c.name;
    EXPECT_EQ(result.error().kind, c.kind) << c.name;
    EXPECT_NE(result.error().message.find(c.mentions), std::string::npos) << c.name << ": " << result.error().message;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
  }
  EXPECT_EQ(render::imageFormatNamed("svg"), render::ImageFormat::svg);
  EXPECT_EQ(render::imageFormatNamed("jpeg"), std::nullopt);
}

}  // namespace
}  // namespace tul
