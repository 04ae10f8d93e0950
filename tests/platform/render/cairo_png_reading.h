// PNG bytes read through cairo's own reader, as the reference the renderer's PNG
// writer and reader are checked against.
#pragma once

#include <cairo.h>

#include <cstring>
#include <string>
#include <string_view>

#include "platform/render/decoded_images.h"

namespace tul::testing {

inline render::ImageSurface cairosReading(const std::string& bytes) {
  std::string_view rest = bytes;
  return render::ImageSurface(cairo_image_surface_create_from_png_stream(
      [](void* closure, unsigned char* data, unsigned int length) {
        auto* left = static_cast<std::string_view*>(closure);
        if (left->size() < length) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, left->data(), length);
        left->remove_prefix(length);
        return CAIRO_STATUS_SUCCESS;
      },
      &rest));
}

}  // namespace tul::testing
