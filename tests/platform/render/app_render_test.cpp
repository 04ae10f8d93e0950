// The app's real trees laid out with the real font and drawn: the frames of the widget
// and of every Live Activity presentation in several states, compared with
// tests/golden/app-layouts.txt (written as golden/layout_frames.h describes: every
// drawn thing, text line and modifier with its frame); the expanded island's regions
// read from JSON;
// pictures written to real files in a temporary folder and decoded again: what the
// pixels show, and what is refused without leaving anything behind; and the drawing
// parts on their own: font, symbols and blur.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <thread>
#include <vector>

#include "activity/tul_widget_live_activity.h"
#include "golden/golden.h"
#include "cairo_png_reading.h"
#include "golden/layout_frames.h"
#include "platform/render/box_blur.h"
#include "platform/render/painter.h"
#include "platform/render/pango_text_measurer.h"
#include "platform/render/png_encoder.h"
#include "platform/render/render.h"
#include "platform/render/symbol_paths.h"
#include "platform/ui/layout_symbol.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "widget/tul_widget_entry_view.h"

namespace tul {
namespace {

// The extension bundle that holds the trees' assets.
ui::Bundle extensionBundle() { return ui::Bundle(TUL_EXTENSION_BUNDLE_DIR); }

// The widget for the default preset ("Let it be" at 120 BPM, its tempo shown as "120").
ui::View presetWidgetView() {
  return TulWidgetEntryView{SimpleEntry{foundation::Date::now(), MiniMelody::defaultMelody()}}.body();
}

TEST(AppLayoutGolden, WidgetAndActivityPresentations) {
  std::string out;
  const auto add = [&](const std::string& what, const auto& layout) {
    ASSERT_TRUE(layout) << what << ": " << layout.error().message;
    testing::writeLayout(out, what, *layout);
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
  const auto text =
      nlohmann::json::parse(R"({"type": "Text", "text": "1", "key": "1", "arguments": [], "modifiers": []})");
  const std::pair<nlohmann::json, std::string> cases[] = {
      {nlohmann::json::object(), "regions: expected an array"},
      {{{{"position", "top"}, {"priority", 0}, {"view", text}}}, "regions[0].position: unknown"},
      {{{{"position", "center"}, {"view", text}, {"size", 3}}}, "regions[0].size: unexpected"},
      {{{{"position", "center"}, {"view", text}}, {{"position", "bottom"}, {"view", {{"type", "Text"}}}}},
       "regions[1].view.text: missing"},
  };
  for (const auto& [regions, mentions] : cases) {
    auto read = render::regionsFromJSON(regions);
    ASSERT_FALSE(read) << regions;
    EXPECT_NE(read.error().message.find(mentions), std::string::npos) << read.error().message;
  }
  auto good = render::regionsFromJSON({{{"position", "trailing"}, {"priority", 1}, {"view", text}}});
  ASSERT_TRUE(good) << good.error().message;
  EXPECT_EQ(good->at(0).position, ui::ExpandedRegionPosition::trailing);
}

// A cairo image surface: a blank one drawn on in black, or one decoded from a PNG file.
struct Picture {
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface;
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr{nullptr, cairo_destroy};

  Picture(int width, int height)
      : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy),
        cr(cairo_create(surface.get()), cairo_destroy) {
    cairo_set_source_rgb(cr.get(), 0, 0, 0);
  }
  explicit Picture(const std::filesystem::path& file)
      : surface(cairo_image_surface_create_from_png(file.c_str()), cairo_surface_destroy) {}
  bool ok() const { return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS; }

  // Red, green, blue (unpremultiplied) and alpha of one pixel, 0...255.
  std::array<int, 4> pixel(int x, int y) const {
    cairo_surface_flush(surface.get());
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

  // Painted pixels inside and outside `area` (in pixels).
  std::pair<int, int> painted(const ui::Rect& area) const {
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < cairo_image_surface_get_height(surface.get()); ++y) {
      for (int x = 0; x < cairo_image_surface_get_width(surface.get()); ++x) {
        if (pixel(x, y)[3] == 0) continue;
        const bool in = x + 1 > area.minX() && x < area.maxX() && y + 1 > area.minY() && y < area.maxY();
        ++(in ? inside : outside);
      }
    }
    return {inside, outside};
  }
};

TEST(RenderFiles, WidgetPictureIsWhiteOnFrostedCyanWithRoundedCorners) {
  testing::TempFolder folder;
  const ui::View view = presetWidgetView();
  const auto file = folder.path() / "widget.png";
  ASSERT_TRUE(
      render::renderToFile(view, ui::Surface::smallWidget, render::ImageFormat::png, 3, extensionBundle(), file));
  const Picture picture(file);
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

// A material's backdrop is what lies beneath it, drawn again; when it takes the whole
// picture it is copied from the picture drawn so far instead. Drawn inside a group,
// the picture makes its backdrop again: both ways give the same bytes.
TEST(RenderFiles, ABackdropCopiedFromThePictureIsTheOneDrawnAgain) {
  const ui::LayoutResult layout = *render::layOut(presetWidgetView(), ui::Surface::smallWidget, extensionBundle());
  render::PangoTextMeasurer& text = **render::PangoTextMeasurer::forThisThread();
  const auto draw = [&](bool inGroup) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 510, 510);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, 3, 3);
    render::Painter painter(layout, 3, text);
    EXPECT_TRUE(painter.prepare());
    if (inGroup) cairo_push_group(cr);
    painter.paint(cr);
    if (inGroup) {
      cairo_pop_group_to_source(cr);
      cairo_paint(cr);  // over nothing: the group's own pixels
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const auto* data = cairo_image_surface_get_data(surface);
    std::vector<unsigned char> bytes(data, data + cairo_image_surface_get_stride(surface) * 510);
    cairo_surface_destroy(surface);
    return bytes;
  };
  const auto copied = draw(false);
  EXPECT_TRUE(copied == draw(true));
  EXPECT_NE(std::count(copied.begin(), copied.end(), 0), static_cast<std::ptrdiff_t>(copied.size()));
}

// Each refusal's kind and message (the temporary folder written as <folder>) against
// tests/golden/render-refusals.txt; nothing is left behind by any of them.
TEST(RenderFilesGolden, WritesWholeFilesOnlyReplacesOnlyWhenAskedAndReportsWhatCannotBeDrawn) {
  testing::TempFolder folder;
  const ui::View widget = presetWidgetView();
  const ui::Bundle empty(folder.path() / "Empty.appex");
  const auto target = folder.path() / "widget.png";
  testing::writeFile(target, "keep me");
  const char* const kinds[] = {"argument", "layout", "font", "image", "drawing", "output"};
  std::string out;
  const auto refused = [&](const std::string& name, const auto& result) {
    ASSERT_FALSE(result) << name;
    std::string message = result.error().message;
    const std::string where = folder.path().string();
    for (std::size_t at; (at = message.find(where)) != std::string::npos;)
      message.replace(at, where.size(), "<folder>");
    out += name + ": " + kinds[static_cast<int>(result.error().kind)] + "\n  " + message + "\n";
  };
  const auto png = [&](const std::filesystem::path& file, double scale,
                       foundation::Overwrite overwrite = foundation::Overwrite::refuse) {
    return render::renderToFile(widget, ui::Surface::smallWidget, render::ImageFormat::png, scale, extensionBundle(),
                                file, overwrite);
  };
  refused("an existing file", png(target, 3));
  EXPECT_EQ(testing::readFile(target), "keep me");
  auto replaced = png(target, 3, foundation::Overwrite::replace);
  ASSERT_TRUE(replaced) << replaced.error().message;
  EXPECT_TRUE(Picture(target).ok());
  refused("no such folder", png(folder.path() / "missing" / "widget.png", 3));
  refused("a folder as the file", png(folder.path(), 3));
  refused("scale zero", png(folder.path() / "zero.png", 0));
  refused("scale not a number", png(folder.path() / "nan.png", std::numeric_limits<double>::quiet_NaN()));
  refused("scale too large", png(folder.path() / "huge.png", 100));

  const auto svg = [&](const ui::View& view) {
    return render::renderToFile(view, ui::Surface::smallWidget, render::ImageFormat::svg, 3, empty,
                                folder.path() / "picture.svg");
  };
  refused("the bundle lacks the background", svg(widget));
  refused("an unknown symbol", svg(ui::HStack({ui::Image::systemName("bell")})));
  refused("too many materials", svg(ui::ZStack(std::vector(render::kMaxMaterials + 1, ui::View(ui::Material::thin)))));
  refused("too many views", svg(ui::ZStack(std::vector(render::kMaxDrawnViews + 1, ui::View(ui::Color::red)))));
  testing::expectGolden("render-refusals.txt", out);
  // Only the finished picture (widget.png, decoded above) is there: no temporary
  // files, nothing from the failures.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()),
            1);
  EXPECT_EQ(render::imageFormatNamed("svg"), render::ImageFormat::svg);
  EXPECT_EQ(render::imageFormatNamed("jpeg"), std::nullopt);
}

// The drawing target's parts on their own: the real font's measurements, the symbol
// shapes and the blur of frosted materials, drawn onto real cairo image surfaces.
TEST(PangoTextMeasurer, MeasuresAndDrawsTheInterFace) {
  auto measurer = render::PangoTextMeasurer::create();
  ASSERT_TRUE(measurer) << measurer.error().message;
  const ui::ResolvedFont body{17, 400};
  const ui::ResolvedFont large{34, 400};
  const ui::ResolvedFont heavy{34, 800};
  const double width = measurer->width("Kadenzo 120", body);
  EXPECT_GT(width, 17 * 4);
  EXPECT_LT(width, 17 * 9);
  EXPECT_NEAR(measurer->width("Kadenzo 120", large), 2 * width, 0.02 * width) << "unhinted: sizes scale";
  EXPECT_GT(measurer->width("Kadenzo 120", heavy), measurer->width("Kadenzo 120", large));
  EXPECT_EQ(measurer->width("", body), 0);
  const ui::FontMetrics metrics = measurer->metrics(large);
  EXPECT_NEAR(metrics.ascent / 34, 0.97, 0.05);
  EXPECT_NEAR(metrics.descent / 34, 0.24, 0.05);

  Picture canvas(200, 60);
  measurer->drawLine(canvas.cr.get(), "120", heavy, 10, 5);
  const auto [inside, outside] = canvas.painted(ui::Rect{10, 5, measurer->width("120", heavy), metrics.lineHeight()});
  EXPECT_GT(inside, 200);
  EXPECT_EQ(outside, 0);
  // A NUL draws as nothing, and the text after it is drawn as well.
  const std::string withNul(
      "12\0"
      "0",
      4);
  EXPECT_EQ(measurer->width(withNul, heavy), measurer->width("120", heavy));
  Picture nul(200, 60);
  measurer->drawLine(nul.cr.get(), withNul, heavy, 10, 5);
  EXPECT_EQ(nul.painted(ui::Rect{10, 5, measurer->width("120", heavy), metrics.lineHeight()}).first, inside);

  // Every language's texts find a face: Japanese and Arabic fall back to theirs; a
  // script none of the faces holds shows as boxes, though another Noto face on the
  // machine has it (Devanagari).
  EXPECT_EQ(measurer->missingGlyphs("自動ビート Kadenzoで練習", body), 0);
  EXPECT_EQ(measurer->missingGlyphs("إيقاعات تلقائية", heavy), 0);
  EXPECT_EQ(measurer->missingGlyphs("\u0915\u0916", body), 2);
}

// A thread started after another has ended takes over the measurer it left, its fonts
// loaded, and measures the same.
TEST(PangoTextMeasurer, AThreadThatEndedLeavesItsMeasurerToTheNext) {
  const auto widthOnANewThread = [] {
    double width = 0;
    std::thread([&] {
      auto measurer = render::PangoTextMeasurer::forThisThread();
      ASSERT_TRUE(measurer) << measurer.error().message;
      width = (*measurer)->width("Kadenzo 120", ui::ResolvedFont{17, 400});
    }).join();
    return width;
  };
  const double first = widthOnANewThread();
  const std::size_t made = render::PangoTextMeasurer::made();
  EXPECT_GT(first, 0);
  EXPECT_EQ(widthOnANewThread(), first);
  EXPECT_EQ(render::PangoTextMeasurer::made(), made);
}

// Lines drawn ahead on another thread leave the measurer measuring and drawing as one
// that never drew ahead, to the byte; one dropped while it draws ahead is waited for.
TEST(PangoTextMeasurer, DrawingAheadChangesNothingDrawn) {
  const ui::ResolvedFont heavy{34, 800};
  const ui::ResolvedFont caption{12, 400};
  const auto drawn = [&](render::PangoTextMeasurer& measurer) {
    Picture canvas(300, 120);
    cairo_scale(canvas.cr.get(), 3, 3);
    measurer.drawLine(canvas.cr.get(), "132", heavy, 3.3, 1);
    measurer.drawLine(canvas.cr.get(), "Étude für Boss…", caption, 0.5, 20);
    cairo_surface_flush(canvas.surface.get());
    const unsigned char* data = cairo_image_surface_get_data(canvas.surface.get());
    return std::vector<unsigned char>(data, data + cairo_image_surface_get_stride(canvas.surface.get()) * 120);
  };
  auto plain = render::PangoTextMeasurer::create();
  auto ahead = render::PangoTextMeasurer::create();
  ASSERT_TRUE(plain && ahead);
  ahead->drawAhead({{"132", heavy, 60}, {"Étude für Boss…", caption, 90}, {"Kadenzo", caption, 45}}, 3, 3);
  EXPECT_EQ(ahead->width("Kadenzo", caption), plain->width("Kadenzo", caption));
  EXPECT_FALSE(ahead->drawingAhead());  // measuring waited for it
  const std::vector<unsigned char> expected = drawn(*plain);
  EXPECT_GT(std::ranges::count_if(expected, [](unsigned char byte) { return byte != 0; }), 500);
  EXPECT_EQ(drawn(*ahead), expected);
  {
    auto dropped = render::PangoTextMeasurer::create();
    ASSERT_TRUE(dropped);
    dropped->drawAhead({{"132", heavy, 60}}, 3, 3);
  }
}

TEST(SymbolPaths, DrawEachSymbolInsideItsGlyphBox) {
  for (const char* name : {"play.fill", "pause.fill", "metronome"}) {
    const std::optional<ui::SymbolBox> box = ui::symbolBox(name, 60);
    ASSERT_TRUE(box) << name;
    EXPECT_TRUE((ui::Rect{0, 0, box->frame.width, box->frame.height}.contains(box->glyph))) << name;
    Picture canvas(100, 100);
    const ui::Rect glyph{20, 20, box->glyph.width, box->glyph.height};
    EXPECT_TRUE(render::drawSymbol(canvas.cr.get(), name, glyph)) << name;
    const auto [inside, outside] = canvas.painted(glyph);
    EXPECT_GT(inside, static_cast<int>(glyph.width * glyph.height * 0.15)) << name;
    EXPECT_EQ(outside, 0) << name;
  }
  Picture canvas(10, 10);
  EXPECT_FALSE(render::drawSymbol(canvas.cr.get(), "bell", ui::Rect{0, 0, 10, 10}));
  EXPECT_EQ(canvas.painted(ui::Rect{}).second, 0);
}

TEST(BoxBlur, SpreadsADotSymmetricallyKeepsFlatAreasAndStaysInItsRows) {
  for (const int radius : {0, 1, 3, 40}) {
    std::vector<std::uint8_t> flat(9 * 7 * 4, 200);
    render::boxBlur(flat, 9, 7, 9 * 4, radius);
    EXPECT_TRUE(std::ranges::all_of(flat, [](std::uint8_t v) { return v == 200; })) << radius;

    std::vector<std::uint8_t> dot(9 * 9 * 4, 0);
    const auto at = [&](int x, int y) { return dot[static_cast<std::size_t>((y * 9 + x) * 4)]; };
    std::fill_n(dot.begin() + (4 * 9 + 4) * 4, 4, 255);
    render::boxBlur(dot, 9, 9, 9 * 4, radius);
    if (radius == 0) {
      EXPECT_EQ(at(4, 4), 255);
      EXPECT_EQ(at(5, 4), 0);
      continue;
    }
    EXPECT_LT(at(4, 4), 255) << radius;
    EXPECT_LT(std::accumulate(dot.begin(), dot.end(), 0), 4 * 255 * 2) << radius << ": spreads light, adds none";
    if (radius >= 9) continue;  // spread so thin that rounding leaves nothing
    EXPECT_GT(at(5, 4), 0) << radius;
    EXPECT_LE(at(5, 4), at(4, 4)) << radius;
    EXPECT_TRUE(at(3, 4) == at(5, 4) && at(4, 3) == at(5, 4) && at(4, 5) == at(5, 4)) << radius;
  }

  // Rows padded to 12 pixels: the padding is never touched, the edge repeats.
  const int stride = 12 * 4;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride * 5), 0);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) pixels[static_cast<std::size_t>(y * stride + x * 4)] = 255;
    std::fill_n(pixels.begin() + y * stride + 40, stride - 40, 77);
  }
  render::boxBlur(pixels, 10, 5, stride, 2);
  for (int y = 0; y < 5; ++y) {
    EXPECT_EQ(pixels[static_cast<std::size_t>(y * stride + 40)], 77);
    EXPECT_GE(pixels[static_cast<std::size_t>(y * stride)], 240);
    EXPECT_GT(pixels[static_cast<std::size_t>(y * stride + 5 * 4)], 0);
  }
  std::vector<std::uint8_t> small(8, 9);
  render::boxBlur(small, 4, 4, 16, 2);  // claims more pixels than it holds: left alone
  EXPECT_TRUE(std::ranges::all_of(small, [](std::uint8_t v) { return v == 9; }));
}

// The blur, byte for byte, against the plain definition: three times across then down,
// each byte the rounded mean of its window, the edges repeated. Noise in odd sizes, so
// that rows end in every way a run of eight bytes can, and windows small and large.
TEST(BoxBlur, IsTheRoundedMeanOfEveryWindowByteForByte) {
  const auto reference = [](std::vector<std::uint8_t> p, int w, int h, int stride, int r) {
    const int window = 2 * r + 1;
    const auto at = [&](int x, int y, int c) -> std::uint8_t& {
      return p[static_cast<std::size_t>(y * stride + x * 4 + c)];
    };
    for (int pass = 0; pass < 6; ++pass) {
      const std::vector<std::uint8_t> before = p;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          for (int c = 0; c < 4; ++c) {
            int sum = 0;
            for (int k = -r; k <= r; ++k) {
              const int sx = pass % 2 == 0 ? std::clamp(x + k, 0, w - 1) : x;
              const int sy = pass % 2 == 0 ? y : std::clamp(y + k, 0, h - 1);
              sum += before[static_cast<std::size_t>(sy * stride + sx * 4 + c)];
            }
            at(x, y, c) = static_cast<std::uint8_t>((sum + window / 2) / window);
          }
        }
      }
    }
    return p;
  };
  std::uint32_t seed = 12345;
  for (const auto [w, h, r] :
       {std::array{9, 7, 13}, {1, 1, 2}, {3, 11, 1}, {37, 5, 4}, {6, 9, 63}, {5, 4, 64}, {4, 3, 130},
        {301, 257, 13}}) {  // the last large enough to be split between two threads
    const int stride = w * 4 + 8;  // padding after every row, left as it is
    std::vector<std::uint8_t> noise(static_cast<std::size_t>(stride * h));
    for (std::uint8_t& byte : noise) byte = static_cast<std::uint8_t>((seed = seed * 1664525U + 1013904223U) >> 24);
    const auto expected = reference(noise, w, h, stride, r);
    for (const render::Threads threads : {render::Threads::every, render::Threads::callerOnly}) {
      std::vector<std::uint8_t> blurred = noise;
      render::boxBlur(blurred, w, h, stride, r, threads);
      EXPECT_EQ(blurred, expected) << w << "x" << h << ", radius " << r;
    }
  }
}

// A picture's PNG reads back (through cairo's reader) with the pixels of the PNG that
// cairo's own writer makes of it: noise of every opacity, large enough for its
// compressed rows to take more than one IDAT chunk, and a single pixel.
TEST(PngEncoder, ReadsBackWithThePixelsOfCairosOwnWriter) {
  const auto pixelsOf = [](const std::string& png) {
    const render::ImageSurface surface = testing::cairosReading(png);
    cairo_surface_t* read = surface.get();
    EXPECT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
    const int height = cairo_image_surface_get_height(read);
    const unsigned char* data = cairo_image_surface_get_data(read);
    std::vector<std::uint8_t> pixels;
    for (int y = 0; data != nullptr && y < height; ++y) {
      const unsigned char* row = data + y * cairo_image_surface_get_stride(read);
      pixels.insert(pixels.end(), row, row + cairo_image_surface_get_width(read) * 4);
    }
    return pixels;
  };
  std::uint32_t seed = 99;
  for (const auto [w, h] : {std::array{700, 600}, {1, 1}}) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface) +
                                                   y * cairo_image_surface_get_stride(surface));
      for (int x = 0; x < w; ++x) {
        const auto next = [&] { return (seed = seed * 1664525U + 1013904223U) >> 24; };
        const std::uint32_t alpha = x < w / 3 ? 255 : next();  // long opaque runs, then every opacity
        row[x] = alpha << 24 | next() % (alpha + 1) << 16 | next() % (alpha + 1) << 8 | next() % (alpha + 1);
      }
    }
    cairo_surface_mark_dirty(surface);
    const auto ours = render::encodePNG(surface);
    const auto oneThread = render::encodePNG(surface, render::Threads::callerOnly);
    std::string theirs;
    cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* data, unsigned int length) {
          static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
          return CAIRO_STATUS_SUCCESS;
        },
        &theirs);
    cairo_surface_destroy(surface);
    ASSERT_TRUE(ours && oneThread);
    EXPECT_EQ(pixelsOf(*ours), pixelsOf(theirs)) << w << "x" << h;
    EXPECT_EQ(pixelsOf(*oneThread), pixelsOf(theirs)) << w << "x" << h << ", on one thread";
  }
}

}  // namespace
}  // namespace tul
