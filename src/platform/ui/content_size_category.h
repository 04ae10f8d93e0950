// Content size category: the text size a phone's user chose (seven standard sizes and
// five larger accessibility sizes; `large` is the default), and the size in points of
// each text style at each, as the platform publishes them (Apple's Human Interface
// Guidelines, Typography: "Dynamic Type sizes", iOS). Plain values and one table.
#pragma once

#include <array>
#include <cstddef>

#include "platform/ui/font.h"
#include "platform/ui/schema.h"

namespace ui {

enum class ContentSizeCategory {
  xSmall,
  small,
  medium,
  large,
  xLarge,
  xxLarge,
  xxxLarge,
  accessibility1,
  accessibility2,
  accessibility3,
  accessibility4,
  accessibility5,
};

template <>
struct Names<ContentSizeCategory> {
  static constexpr Named<ContentSizeCategory> table[] = {
      {"xSmall", ContentSizeCategory::xSmall},      {"small", ContentSizeCategory::small},
      {"medium", ContentSizeCategory::medium},      {"large", ContentSizeCategory::large},
      {"xLarge", ContentSizeCategory::xLarge},      {"xxLarge", ContentSizeCategory::xxLarge},
      {"xxxLarge", ContentSizeCategory::xxxLarge},  {"AX1", ContentSizeCategory::accessibility1},
      {"AX2", ContentSizeCategory::accessibility2}, {"AX3", ContentSizeCategory::accessibility3},
      {"AX4", ContentSizeCategory::accessibility4}, {"AX5", ContentSizeCategory::accessibility5},
  };
};

// One row per category in the order above; one column per text style in the order of
// Font::TextStyle: largeTitle, title, title2, title3, headline, subheadline, body,
// callout, footnote, caption, caption2.
inline constexpr std::array<std::array<double, 11>, 12> kTextStylePointSizes = {{
    {31, 25, 19, 17, 14, 12, 14, 13, 12, 11, 11},  // xSmall
    {32, 26, 20, 18, 15, 13, 15, 14, 12, 11, 11},  // small
    {33, 27, 21, 19, 16, 14, 16, 15, 12, 11, 11},  // medium
    {34, 28, 22, 20, 17, 15, 17, 16, 13, 12, 11},  // large
    {36, 30, 24, 22, 19, 17, 19, 18, 15, 14, 13},  // xLarge
    {38, 32, 26, 24, 21, 19, 21, 20, 17, 16, 15},  // xxLarge
    {40, 34, 28, 26, 23, 21, 23, 22, 19, 18, 17},  // xxxLarge
    {44, 38, 34, 31, 28, 25, 28, 26, 23, 22, 20},  // AX1
    {48, 43, 39, 37, 33, 30, 33, 32, 27, 26, 24},  // AX2
    {52, 48, 44, 43, 40, 36, 40, 38, 33, 32, 29},  // AX3
    {56, 53, 50, 49, 47, 42, 47, 44, 38, 37, 34},  // AX4
    {60, 58, 56, 55, 53, 49, 53, 51, 44, 43, 40},  // AX5
}};

// The style's size in points at `category`.
constexpr double pointSize(Font::TextStyle style, ContentSizeCategory category = ContentSizeCategory::large) {
  return kTextStylePointSizes[static_cast<std::size_t>(category)][static_cast<std::size_t>(style)];
}

}  // namespace ui
