#include "platform/render/picture_difference.h"

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/render/png_decoder.h"

namespace render {

namespace {

using Surface = ImageSurface;

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// The picture as 32-bit ARGB pixels.
std::expected<Surface, RenderError> decoded(std::string_view bytes, const char* which) {
  const Surface png = decodePNG(bytes);
  if (cairo_surface_status(png.get()) != CAIRO_STATUS_SUCCESS) {
    return std::unexpected(
        RenderError{RenderError::Kind::argument, std::string("the ") + which + " picture is not a PNG that decodes: " +
                                                     cairo_status_to_string(cairo_surface_status(png.get()))});
  }
  const int width = cairo_image_surface_get_width(png.get());
  const int height = cairo_image_surface_get_height(png.get());
  Surface argb(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  cairo_t* cr = cairo_create(argb.get());
  cairo_set_source_surface(cr, png.get(), 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(argb.get());
  return argb;
}

std::uint32_t pixelAt(cairo_surface_t* surface, int x, int y) {
  const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  std::uint32_t pixel;
  std::memcpy(&pixel, row + 4 * x, 4);
  return pixel;
}

void setPixel(cairo_surface_t* surface, int x, int y, std::uint32_t pixel) {
  unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  std::memcpy(row + 4 * x, &pixel, 4);
}

int largestChannelDifference(std::uint32_t a, std::uint32_t b) {
  int largest = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    largest =
        std::max(largest, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  }
  return largest;
}

}  // namespace

std::expected<PictureDifference, RenderError> comparePNG(std::string_view expected, std::string_view actual,
                                                         int threshold) {
  auto want = decoded(expected, "expected");
  if (!want) return std::unexpected(want.error());
  auto got = decoded(actual, "actual");
  if (!got) return std::unexpected(got.error());
  PictureDifference out;
  out.width = cairo_image_surface_get_width(want->get());
  out.height = cairo_image_surface_get_height(want->get());
  out.total = static_cast<std::int64_t>(out.width) * out.height;
  if (out.width != cairo_image_surface_get_width(got->get()) ||
      out.height != cairo_image_surface_get_height(got->get())) {
    out.sizesDiffer = true;
    out.differing = out.total;
    return out;
  }
  constexpr std::uint32_t kMagenta = 0xFFFF00FF;
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      const std::uint32_t a = pixelAt(want->get(), x, y);
      if (largestChannelDifference(a, pixelAt(got->get(), x, y)) > threshold) {
        ++out.differing;
        setPixel(want->get(), x, y, kMagenta);
      } else {
        // A quarter of the expected picture's premultiplied value: faded towards clear.
        std::uint32_t faded = 0;
        for (int shift = 0; shift < 32; shift += 8) faded |= (((a >> shift) & 0xFF) / 4) << shift;
        setPixel(want->get(), x, y, faded);
      }
    }
  }
  cairo_surface_mark_dirty(want->get());
  if (cairo_surface_write_to_png_stream(want->get(), appendBytes, &out.picture) != CAIRO_STATUS_SUCCESS) {
    return std::unexpected(RenderError{RenderError::Kind::drawing, "cannot encode the difference picture"});
  }
  return out;
}

}  // namespace render
