// RenderError: why a picture could not be made: the tree could not be laid out, the
// font or an image could not be used, the arguments were wrong, or the file could
// not be written. `message` names what failed and where (the view's path, the file).
#pragma once

#include <string>
#include <string_view>

namespace render {

struct RenderError {
  enum class Kind { argument, layout, font, image, drawing, output };

  Kind kind;
  std::string message;
};

// "argument", "layout", "font", "image", "drawing", "output".
constexpr std::string_view name(RenderError::Kind kind) {
  switch (kind) {
    case RenderError::Kind::argument: return "argument";
    case RenderError::Kind::layout: return "layout";
    case RenderError::Kind::font: return "font";
    case RenderError::Kind::image: return "image";
    case RenderError::Kind::drawing: return "drawing";
    case RenderError::Kind::output: return "output";
  }
  return "?";
}

}  // namespace render
