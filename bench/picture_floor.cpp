// picture_floor: the least a process that draws one picture must do, the floor of a
// cold `widget-host timeline --format png`. It starts, sets up cairo and pango with the
// renderer's own fonts (its private font configuration, the face checked as the
// renderer checks it), lays out and draws one line of text on a transparent picture of
// the given size in pixels, and writes it as a PNG file, encoded as the renderer
// encodes its pictures.
//   picture_floor --width W --height H --output FILE
#include <cairo.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/render/pango_text_measurer.h"
#include "platform/render/png_encoder.h"

int main(int argc, char** argv) {
  CLI::App app{"Starts, sets up cairo and pango, draws one line and writes a PNG: a picture's floor."};
  int width = 0;
  int height = 0;
  std::string output;
  app.add_option("--width", width, "in pixels")->required()->check(CLI::Range(1, 8192));
  app.add_option("--height", height, "in pixels")->required()->check(CLI::Range(1, 8192));
  app.add_option("--output", output, "the PNG file to write")->required();
  CLI11_PARSE(app, argc, argv);

  auto text = render::PangoTextMeasurer::create();
  if (!text) {
    std::fprintf(stderr, "picture_floor: %s\n", text.error().message.c_str());
    return 1;
  }
  const ui::ResolvedFont font{48, 600};
  const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy);
  const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
  cairo_set_source_rgb(cr.get(), 1, 1, 1);
  const double lineWidth = text->width("120", font);
  text->drawLine(cr.get(), "120", font, (width - lineWidth) / 2, height / 3.0);
  const auto bytes = render::encodePNG(surface.get());
  if (!bytes) return 1;
  std::FILE* file = std::fopen(output.c_str(), "wb");
  if (file == nullptr) return 1;
  const bool written = std::fwrite(bytes->data(), 1, bytes->size(), file) == bytes->size();
  return std::fclose(file) == 0 && written ? 0 : 1;
}
