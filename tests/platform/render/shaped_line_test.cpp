// A line shaped without a layout measures and draws as pango's own layout of it does:
// the same width to the pango unit, the same missing glyphs, and the same pixels at a
// phone's scale, in Latin, Japanese and Arabic (right to left, with digits and Latin
// runs among it, so its runs are reordered), in the renderer's fonts.
#include "platform/render/shaped_line.h"

#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/render/pango_text_measurer.h"

namespace render {
namespace {

template <typename T>
struct Unref {
  void operator()(T* object) const { g_object_unref(object); }
};

struct Drawn {
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface{nullptr, cairo_surface_destroy};
  std::vector<unsigned char> bytes() const {
    cairo_surface_flush(surface.get());
    const auto* data = cairo_image_surface_get_data(surface.get());
    return {data, data + cairo_image_surface_get_stride(surface.get()) * cairo_image_surface_get_height(surface.get())};
  }
};

// A picture 3 pixels per point, drawn by `draw` with a white source.
template <typename Draw>
Drawn drawnAtScale3(PangoContext* context, Draw draw) {
  Drawn out;
  out.surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 900, 180));
  cairo_t* cr = cairo_create(out.surface.get());
  cairo_scale(cr, 3, 3);
  cairo_set_source_rgb(cr, 1, 1, 1);
  pango_cairo_update_context(cr, context);
  draw(cr);
  cairo_destroy(cr);
  return out;
}

TEST(ShapedLine, MeasuresAndDrawsAsPangosLayoutOfTheLine) {
  // The renderer's font configuration becomes the process's current one; a font map
  // made after it sees the renderer's faces.
  ASSERT_TRUE(PangoTextMeasurer::create());
  const std::unique_ptr<PangoFontMap, Unref<PangoFontMap>> fonts(pango_cairo_font_map_new());
  pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(fonts.get()), 72);
  const std::unique_ptr<PangoContext, Unref<PangoContext>> context(pango_font_map_create_context(fonts.get()));
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context.get(), options);
  cairo_font_options_destroy(options);
  PangoFontDescription* font = pango_font_description_from_string("Inter Semi-Bold 23");

  for (const std::string text :
       {"Étude für Bossa – Tag 3", "自動ビート Kadenzoで練習 120", "إيقاعات 120 تلقائية Tul", "\u0915\u0916 x"}) {
    SCOPED_TRACE(text);
    const std::unique_ptr<PangoLayout, Unref<PangoLayout>> layout(pango_layout_new(context.get()));
    pango_layout_set_font_description(layout.get(), font);
    pango_layout_set_text(layout.get(), text.c_str(), static_cast<int>(text.size()));
    PangoRectangle logical{};
    pango_layout_get_extents(layout.get(), nullptr, &logical);

    const auto line = ShapedLine::shape(context.get(), text, font);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->width(), logical.width);
    EXPECT_EQ(line->unknownGlyphs(), pango_layout_get_unknown_glyphs_count(layout.get()));

    double baseline = 0;  // where the layout, shaped at the picture's scale, puts it
    const Drawn expected = drawnAtScale3(context.get(), [&](cairo_t* cr) {
      cairo_move_to(cr, 7.25, 11.5);
      pango_cairo_update_layout(cr, layout.get());
      baseline = static_cast<double>(pango_layout_get_baseline(layout.get())) / PANGO_SCALE;
      pango_cairo_show_layout(cr, layout.get());
    });
    const Drawn drawn = drawnAtScale3(context.get(), [&](cairo_t* cr) {
      ShapedLine::shape(context.get(), text, font)->draw(cr, 7.25, 11.5 + baseline);
    });
    EXPECT_TRUE(drawn.bytes() == expected.bytes()) << "the line is not drawn as the layout draws it";
  }

  // What a layout sets out in ways of its own is left to a layout: tabs, breaks.
  for (const std::string& text : {std::string("a\tb"), std::string("a\nb"), std::string("a\u2028b"),
                                  std::string("a\u2029b"), std::string("\xFF", 1)}) {
    EXPECT_FALSE(ShapedLine::shape(context.get(), text, font)) << text;
  }
  pango_font_description_free(font);
}

}  // namespace
}  // namespace render
