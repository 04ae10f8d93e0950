// Pictures written to real files in a temporary folder, decoded and parsed again.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "app_trees.h"
#include "platform/render/painter.h"
#include "platform/render/render.h"

#ifdef TUL_HAVE_LIBXML2
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

namespace tul {
namespace {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tul-render-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& root() const { return root_; }

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(root_)) out.push_back(entry.path().filename());
    std::ranges::sort(out);
    return out;
  }

 private:
  std::filesystem::path root_;
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Decoded {
  struct Deleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
  };
  std::unique_ptr<cairo_surface_t, Deleter> surface;

  explicit Decoded(const std::filesystem::path& file) : surface(cairo_image_surface_create_from_png(file.c_str())) {}
  bool ok() const { return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(surface.get()); }
  int height() const { return cairo_image_surface_get_height(surface.get()); }

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

struct Picture {
  std::string name;
  std::function<std::expected<void, render::RenderError>(const std::filesystem::path&, render::ImageFormat, double)>
      draw;
  std::function<ui::LayoutResult()> layout;
};

std::vector<Picture> pictures() {
  const ui::Bundle bundle = testing::extensionBundle();
  const testing::Presentations views = testing::presentations(testing::activityCases()[0].state);
  const auto single = [bundle](std::string name, ui::View view, ui::Surface surface) {
    return Picture{std::move(name),
                   [=](const std::filesystem::path& out, render::ImageFormat format, double scale) {
                     return render::renderToFile(view, surface, format, scale, bundle, out);
                   },
                   [=] { return *render::layOut(view, surface, bundle); }};
  };
  std::vector<Picture> out = {
      single("widget", testing::widgetView(testing::widgetCases()[0]), ui::Surface::smallWidget),
      single("lock-screen", views.lockScreen, ui::Surface::lockScreen),
      single("compact-leading", views.compactLeading, ui::Surface::islandCompactLeading),
      single("compact-trailing", views.compactTrailing, ui::Surface::islandCompactTrailing),
      single("minimal", views.minimal, ui::Surface::islandMinimal),
  };
  out.push_back(Picture{"expanded",
                        [=](const std::filesystem::path& file, render::ImageFormat format, double scale) {
                          return render::renderToFile(views.expanded, format, scale, bundle, file);
                        },
                        [=] { return *render::layOut(views.expanded, bundle); }});
  return out;
}

TEST(RenderFiles, PNGsDecodeWithThePixelSizeOfTheirScale) {
  TempFolder folder;
  for (const Picture& picture : pictures()) {
    const ui::LayoutResult layout = picture.layout();
    for (double scale : {1.0, 2.0, 3.0}) {
      const std::string label = picture.name + " @" + std::to_string(static_cast<int>(scale)) + "x";
      const auto file = folder.root() / (label + ".png");
      auto written = picture.draw(file, render::ImageFormat::png, scale);
      ASSERT_TRUE(written) << label << ": " << written.error().message;
      const Decoded decoded(file);
      ASSERT_TRUE(decoded.ok()) << label;
      EXPECT_EQ(decoded.width(), std::lround(layout.size.width * scale)) << label;
      EXPECT_EQ(decoded.height(), std::lround(layout.size.height * scale)) << label;
    }
  }
  // The published sizes, in pixels at 3x.
  EXPECT_EQ(Decoded(folder.root() / "widget @3x.png").width(), 510);
  EXPECT_EQ(Decoded(folder.root() / "widget @3x.png").height(), 510);
  EXPECT_EQ(Decoded(folder.root() / "widget @1x.png").width(), 170);
  EXPECT_EQ(Decoded(folder.root() / "lock-screen @3x.png").width(), 1224);
  EXPECT_EQ(Decoded(folder.root() / "compact-leading @3x.png").width(), 187);
  EXPECT_EQ(Decoded(folder.root() / "compact-leading @3x.png").height(), 110);
}

TEST(RenderFiles, WidgetPictureIsWhiteOnFrostedCyanWithRoundedCorners) {
  TempFolder folder;
  const testing::WidgetCase preset = testing::widgetCases()[0];
  const ui::View view = testing::widgetView(preset);
  const auto file = folder.root() / "widget.png";
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

// Whether `text` is well-formed XML: libxml2 parses it when it is there; otherwise a
// check that every tag is closed in order.
::testing::AssertionResult wellFormedXML(const std::string& text) {
#ifdef TUL_HAVE_LIBXML2
  xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), "picture.svg", nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
  if (document == nullptr) return ::testing::AssertionFailure() << "libxml2 cannot parse it";
  const xmlNode* root = xmlDocGetRootElement(document);
  const bool svg = root != nullptr && std::string(reinterpret_cast<const char*>(root->name)) == "svg";
  xmlFreeDoc(document);
  if (!svg) return ::testing::AssertionFailure() << "the root element is not <svg>";
  return ::testing::AssertionSuccess();
#else
  std::vector<std::string> open;
  for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    const std::size_t end = text.find('>', at);
    if (end == std::string::npos) return ::testing::AssertionFailure() << "a tag is not ended";
    const std::string tag = text.substr(at + 1, end - at - 1);
    if (tag.starts_with("?") || tag.starts_with("!")) continue;
    const std::string tagName =
        tag.substr(tag.starts_with("/") ? 1 : 0, tag.find_first_of(" \t\n/", 1) - (tag.starts_with("/") ? 1 : 0));
    if (tag.starts_with("/")) {
      if (open.empty() || open.back() != tagName)
        return ::testing::AssertionFailure() << "</" << tagName << "> out of order";
      open.pop_back();
    } else if (!tag.ends_with("/")) {
      open.push_back(tagName);
    }
  }
  if (!open.empty()) return ::testing::AssertionFailure() << "<" << open.back() << "> is never closed";
  if (text.find("<svg") == std::string::npos) return ::testing::AssertionFailure() << "no <svg> element";
  return ::testing::AssertionSuccess();
#endif
}

TEST(RenderFiles, SVGsAreWellFormedAndSizedInPixels) {
  TempFolder folder;
  for (const Picture& picture : pictures()) {
    const auto file = folder.root() / (picture.name + ".svg");
    auto written = picture.draw(file, render::ImageFormat::svg, 2);
    ASSERT_TRUE(written) << picture.name << ": " << written.error().message;
    const std::string svg = readFile(file);
    EXPECT_TRUE(wellFormedXML(svg)) << picture.name;
    const ui::LayoutResult layout = picture.layout();
    const std::string width = "width=\"" + std::to_string(std::lround(layout.size.width * 2)) + "px\"";
    EXPECT_NE(svg.find(width), std::string::npos) << picture.name << " lacks " << width;
  }
  EXPECT_FALSE(wellFormedXML("<svg><g></svg>"));
}

TEST(RenderFiles, WritesWholeFilesOnlyAndReplacesOnlyWhenAsked) {
  TempFolder folder;
  const ui::View view = testing::widgetView(testing::widgetCases()[0]);
  const ui::Bundle bundle = testing::extensionBundle();
  const auto target = folder.root() / "widget.png";
  std::ofstream(target) << "keep me";

  auto refused = render::renderToFile(view, ui::Surface::smallWidget, render::ImageFormat::png, 3, bundle, target);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, render::RenderError::Kind::output);
  EXPECT_NE(refused.error().message.find("already exists"), std::string::npos) << refused.error().message;
  EXPECT_EQ(readFile(target), "keep me");

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
      {"no such folder", folder.root() / "missing" / "widget.png", 3, render::RenderError::Kind::output,
       "cannot create a temporary file"},
      {"a folder as the file", folder.root(), 3, render::RenderError::Kind::output, "is a directory"},
      {"scale zero", folder.root() / "zero.png", 0, render::RenderError::Kind::argument, "scale"},
      {"scale not a number", folder.root() / "nan.png", std::numeric_limits<double>::quiet_NaN(),
       render::RenderError::Kind::argument, "scale"},
      {"scale too large", folder.root() / "huge.png", 100, render::RenderError::Kind::argument, "scale"},
  };
  for (const auto& f : failures) {
    auto result =
        render::renderToFile(view, ui::Surface::smallWidget, render::ImageFormat::png, f.scale, bundle, f.out);
    ASSERT_FALSE(result) << f.name;
    EXPECT_EQ(result.error().kind, f.kind) << f.name;
    EXPECT_NE(result.error().message.find(f.mentions), std::string::npos) << f.name << ": " << result.error().message;
  }
  // Only the finished picture is there: no temporary files, nothing from the failures.
  EXPECT_EQ(folder.names(), std::vector<std::string>{"widget.png"});
}

TEST(RenderFiles, ReportsViewsThatCannotBeDrawn) {
  TempFolder folder;
  const ui::Bundle empty(folder.root() / "Empty.appex");
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
    const auto out = folder.root() / "picture.svg";
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
