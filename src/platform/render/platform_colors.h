// Platform colours: the red, green, blue and alpha of the platform's named colours as
// drawn on this host's surfaces, which are all dark (a widget's picture, the lock
// screen platter, the Dynamic Island): `primary` is white there. Named colours use
// the platform's published values (cyan #32ADE6); the colour's opacity is the alpha.
#pragma once

#include "platform/ui/color.h"

namespace render {

struct Rgba {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 0;
};

Rgba rgba(const ui::Color& color);

}  // namespace render
