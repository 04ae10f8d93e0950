#include "platform/render/png_encoder.h"

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace render {
namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

// libpng reports errors through longjmp; the message is kept for the caller.
[[noreturn]] void onError(png_structp png, png_const_charp message) {
  auto* kept = static_cast<std::string*>(png_get_error_ptr(png));
  *kept = message != nullptr ? message : "unknown libpng error";
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// One row of cairo's native-endian premultiplied ARGB as straight RGBA bytes, rounded as
// cairo's writer rounds.
void unpremultiplied(const std::uint32_t* in, int width, std::uint8_t* out) {
  for (int x = 0; x < width; ++x, out += 4) {
    const std::uint32_t pixel = in[x];
    const std::uint32_t alpha = pixel >> 24;
    if (alpha == 0) {
      std::memset(out, 0, 4);
      continue;
    }
    if (alpha == 0xFF) {  // opaque: nothing to divide
      out[0] = static_cast<std::uint8_t>(pixel >> 16);
      out[1] = static_cast<std::uint8_t>(pixel >> 8);
      out[2] = static_cast<std::uint8_t>(pixel);
      out[3] = 0xFF;
      continue;
    }
    const auto channel = [&](int shift) {
      const std::uint32_t value = (pixel >> shift) & 0xFF;
      return static_cast<std::uint8_t>((value * 255 + alpha / 2) / alpha);
    };
    out[0] = channel(16);
    out[1] = channel(8);
    out[2] = channel(0);
    out[3] = static_cast<std::uint8_t>(alpha);
  }
}

// Kept apart from encodePNG so that no C++ object with a destructor lives in the frame
// that setjmp returns to.
bool encodeRows(png_structp png, png_infop info, cairo_surface_t* surface, std::string& bytes,
                std::vector<std::uint8_t>& row) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  png_set_write_fn(png, &bytes, appendBytes, flushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // The fastest deflate, on the rows as they are: on these pictures (flat fills, text,
  // a blurred photograph) that gives smaller files, and sooner, than rows filtered by
  // the row above or by the pixel before.
  png_set_compression_level(png, Z_BEST_SPEED);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    unpremultiplied(reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride), width,
                    row.data());
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  return true;
}

}  // namespace

std::expected<std::string, RenderError> encodePNG(cairo_surface_t* surface) {
  const auto fail = [](const std::string& why) {
    return std::unexpected(RenderError{RenderError::Kind::drawing, "cannot encode PNG: " + why});
  };
  if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
    return fail("not an ARGB32 image surface");
  }
  cairo_surface_flush(surface);
  std::string error;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onError, onWarning);
  if (png == nullptr) return fail("out of memory");
  png_infop info = png_create_info_struct(png);
  std::string bytes;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(cairo_image_surface_get_width(surface)) * 4);
  const bool encoded = info != nullptr && encodeRows(png, info, surface, bytes, row);
  png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  if (!encoded) return fail(error.empty() ? "out of memory" : error);
  return bytes;
}

}  // namespace render
