// Picture difference: how two PNG pictures differ, pixel by pixel, for checking
// pictures against recorded ones. A pixel differs when one of its colour or alpha
// channels differs by more than the threshold (0 ... 255); the difference picture
// shows the expected picture faded, with every differing pixel in magenta.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "platform/render/render_error.h"

namespace render {

struct PictureDifference {
  int width = 0;  // of the expected picture, in pixels
  int height = 0;
  bool sizesDiffer = false;  // then every pixel counts as differing and there is no picture
  std::int64_t differing = 0;
  std::int64_t total = 0;
  std::string picture;  // the difference picture, PNG
};

// Fails when either file is not a PNG that decodes (the error names which).
std::expected<PictureDifference, RenderError> comparePNG(std::string_view expected, std::string_view actual,
                                                         int threshold);

}  // namespace render
