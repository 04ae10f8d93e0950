// Variant: the environment a view tree is laid out in besides its surface: the phone
// (its width decides the surfaces' sizes) and the text size the user chose. The
// defaults are the 430-point phone at the default text size.
#pragma once

#include "platform/ui/content_size_category.h"
#include "platform/ui/layout_surface.h"

namespace ui {

struct Variant {
  Device device = Device::width430;
  ContentSizeCategory textSize = ContentSizeCategory::large;

  friend constexpr bool operator==(const Variant&, const Variant&) = default;
};

}  // namespace ui
