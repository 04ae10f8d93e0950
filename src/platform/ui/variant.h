// Variant: the environment a view tree is laid out in besides its surface: the phone
// (its width decides the surfaces' sizes), the text size the user chose, and the
// direction of the language (a right-to-left language mirrors the layout: stacks run
// from the right, leading and trailing swap). The defaults are the 430-point phone at
// the default text size, left to right.
#pragma once

#include <initializer_list>
#include <string_view>

#include "platform/ui/content_size_category.h"
#include "platform/ui/layout_surface.h"

namespace ui {

enum class LayoutDirection { leftToRight, rightToLeft };

// The direction of a locale's language ("ar", "he-IL", "en"): right to left for
// Arabic, Hebrew, Persian and Urdu.
constexpr LayoutDirection directionOf(std::string_view locale) {
  const std::string_view language = locale.substr(0, locale.find_first_of("-_"));
  for (const std::string_view rightToLeft : {"ar", "he", "fa", "ur"}) {
    if (language == rightToLeft) return LayoutDirection::rightToLeft;
  }
  return LayoutDirection::leftToRight;
}

struct Variant {
  Device device = Device::width430;
  ContentSizeCategory textSize = ContentSizeCategory::large;
  LayoutDirection direction = LayoutDirection::leftToRight;

  friend constexpr bool operator==(const Variant&, const Variant&) = default;
};

}  // namespace ui
