// The drawing target's parts on their own: the real font's measurements, the symbol
// shapes and the blur of frosted materials, drawn onto real cairo image surfaces.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "platform/render/box_blur.h"
#include "platform/render/pango_text_measurer.h"
#include "platform/render/symbol_paths.h"
#include "platform/ui/layout_symbol.h"

namespace render {
namespace {

struct Canvas {
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface;
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr;

  Canvas(int width, int height)
      : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy),
        cr(cairo_create(surface.get()), cairo_destroy) {
    cairo_set_source_rgb(cr.get(), 0, 0, 0);
  }

  // Painted pixels inside and outside `area` (in pixels).
  std::pair<int, int> painted(const ui::Rect& area) {
    cairo_surface_flush(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < cairo_image_surface_get_height(surface.get()); ++y) {
      for (int x = 0; x < cairo_image_surface_get_width(surface.get()); ++x) {
        if (data[y * stride + x * 4 + 3] == 0) continue;
        const bool in = x + 1 > area.minX() && x < area.maxX() && y + 1 > area.minY() && y < area.maxY();
        ++(in ? inside : outside);
      }
    }
    return {inside, outside};
  }
};

TEST(PangoTextMeasurer, MeasuresAndDrawsTheInterFace) {
  auto measurer = PangoTextMeasurer::create();
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

  Canvas canvas(200, 60);
  measurer->drawLine(canvas.cr.get(), "120", heavy, 10, 5);
  const auto [inside, outside] = canvas.painted(ui::Rect{10, 5, measurer->width("120", heavy), metrics.lineHeight()});
  EXPECT_GT(inside, 200);
  EXPECT_EQ(outside, 0);
}

TEST(SymbolPaths, DrawEachSymbolInsideItsGlyphBox) {
  for (const char* name : {"play.fill", "pause.fill", "metronome"}) {
    const std::optional<ui::SymbolBox> box = ui::symbolBox(name, 60);
    ASSERT_TRUE(box) << name;
    EXPECT_TRUE((ui::Rect{0, 0, box->frame.width, box->frame.height}.contains(box->glyph))) << name;
    Canvas canvas(100, 100);
    const ui::Rect glyph{20, 20, box->glyph.width, box->glyph.height};
    EXPECT_TRUE(drawSymbol(canvas.cr.get(), name, glyph)) << name;
    const auto [inside, outside] = canvas.painted(glyph);
    EXPECT_GT(inside, static_cast<int>(glyph.width * glyph.height * 0.15)) << name;
    EXPECT_EQ(outside, 0) << name;
  }
  Canvas canvas(10, 10);
  EXPECT_FALSE(drawSymbol(canvas.cr.get(), "bell", ui::Rect{0, 0, 10, 10}));
  EXPECT_EQ(canvas.painted(ui::Rect{}).second, 0);
}

TEST(BoxBlur, SpreadsADotSymmetricallyKeepsFlatAreasAndStaysInItsRows) {
  for (const int radius : {0, 1, 3, 40}) {
    std::vector<std::uint8_t> flat(9 * 7 * 4, 200);
    boxBlur(flat, 9, 7, 9 * 4, radius);
    EXPECT_TRUE(std::ranges::all_of(flat, [](std::uint8_t v) { return v == 200; })) << radius;

    std::vector<std::uint8_t> dot(9 * 9 * 4, 0);
    const auto at = [&](int x, int y) { return dot[static_cast<std::size_t>((y * 9 + x) * 4)]; };
    std::fill_n(dot.begin() + (4 * 9 + 4) * 4, 4, 255);
    boxBlur(dot, 9, 9, 9 * 4, radius);
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
  boxBlur(pixels, 10, 5, stride, 2);
  for (int y = 0; y < 5; ++y) {
    EXPECT_EQ(pixels[static_cast<std::size_t>(y * stride + 40)], 77);
    EXPECT_GE(pixels[static_cast<std::size_t>(y * stride)], 240);
    EXPECT_GT(pixels[static_cast<std::size_t>(y * stride + 5 * 4)], 0);
  }
  std::vector<std::uint8_t> small(8, 9);
  boxBlur(small, 4, 4, 16, 2);  // claims more pixels than it holds: left alone
  EXPECT_TRUE(std::ranges::all_of(small, [](std::uint8_t v) { return v == 9; }));
}

}  // namespace
}  // namespace render
