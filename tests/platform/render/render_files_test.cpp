// Pictures written to real files in a temporary folder and decoded again: what the
// pixels show, and what is refused without leaving anything behind.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "app_trees.h"
#include "platform/render/painter.h"
#include "platform/render/render.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul {
namespace {

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) out.push_back(entry.path().filename());
  std::ranges::sort(out);
  return out;
}

struct Decoded {
  struct Deleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
  };
  std::unique_ptr<cairo_surface_t, Deleter> surface;

  explicit Decoded(const std::filesystem::path& file) : surface(cairo_image_surface_create_from_png(file.c_str())) {}
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
  const testing::WidgetCase preset = testing::widgetCases()[0];
  const ui::View view = testing::widgetView(preset);
  const auto file = folder.path() / "widget.png";
  ASSERT_TRUE(render::renderToFile(view, ui::Surface::smallWidget, render::ImageFormat::png, 3,
                                   testing::extensionBundle(), file));
  const Decoded picture(file);
  ASSERT_TRUE(picture.ok());
  EXPECT_EQ(picture.pixel(0, 0)[3], 0) << "the corner is cut round";
  EXPECT_EQ(picture.pixel(509, 509)[3], 0) << "the corner is cut round";
  const auto background = picture.pixel(20, 255);  // left of the texts, inside the widget
  EXPECT_EQ(background[3], 255);
  EXPECT_GT(background[2], background[0] + 40) << "cyan-blue, not grey";
  EXPECT_GT(background[0], 40) << "lightened by the frosted layer";

  // The tempo's glyphs are white.
  const ui::LayoutResult layout = *render::layOut(view, ui::Surface::smallWidget, testing::extensionBundle());
  const ui::Rect tempo = layout.findText(preset.tempo)->frame;
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
  const ui::View view = testing::widgetView(testing::widgetCases()[0]);
  const ui::Bundle bundle = testing::extensionBundle();
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
      {"the bundle lacks the background", testing::widgetView(testing::widgetCases()[0]),
       render::RenderError::Kind::image, "\"background\" not found"},
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
