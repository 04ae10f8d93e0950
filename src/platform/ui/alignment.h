// Alignment: where a view sits inside the space its container offers, on one axis
// (HorizontalAlignment for vertical stacks, VerticalAlignment for horizontal stacks)
// or on both (Alignment, for overlapping stacks, frames and backgrounds). Plain
// values with the platform's names; `name()` gives the name used in the tree's
// JSON and outline forms.
#pragma once

#include <string_view>

namespace ui {

enum class HorizontalAlignment { leading, center, trailing };
enum class VerticalAlignment { top, center, bottom };

struct Alignment {
  HorizontalAlignment horizontal = HorizontalAlignment::center;
  VerticalAlignment vertical = VerticalAlignment::center;

  static const Alignment center;
  static const Alignment leading;
  static const Alignment trailing;
  static const Alignment top;
  static const Alignment bottom;
  static const Alignment topLeading;
  static const Alignment topTrailing;
  static const Alignment bottomLeading;
  static const Alignment bottomTrailing;

  friend constexpr bool operator==(Alignment, Alignment) = default;
};

inline constexpr Alignment Alignment::center{};
inline constexpr Alignment Alignment::leading{HorizontalAlignment::leading, VerticalAlignment::center};
inline constexpr Alignment Alignment::trailing{HorizontalAlignment::trailing, VerticalAlignment::center};
inline constexpr Alignment Alignment::top{HorizontalAlignment::center, VerticalAlignment::top};
inline constexpr Alignment Alignment::bottom{HorizontalAlignment::center, VerticalAlignment::bottom};
inline constexpr Alignment Alignment::topLeading{HorizontalAlignment::leading, VerticalAlignment::top};
inline constexpr Alignment Alignment::topTrailing{HorizontalAlignment::trailing, VerticalAlignment::top};
inline constexpr Alignment Alignment::bottomLeading{HorizontalAlignment::leading, VerticalAlignment::bottom};
inline constexpr Alignment Alignment::bottomTrailing{HorizontalAlignment::trailing, VerticalAlignment::bottom};

constexpr std::string_view name(HorizontalAlignment alignment) {
  switch (alignment) {
    case HorizontalAlignment::leading: return "leading";
    case HorizontalAlignment::center: return "center";
    case HorizontalAlignment::trailing: return "trailing";
  }
  return "?";
}

constexpr std::string_view name(VerticalAlignment alignment) {
  switch (alignment) {
    case VerticalAlignment::top: return "top";
    case VerticalAlignment::center: return "center";
    case VerticalAlignment::bottom: return "bottom";
  }
  return "?";
}

// "center", "leading", "top", "topLeading", ... : one of the nine named alignments.
constexpr std::string_view name(Alignment alignment) {
  constexpr std::string_view kNames[3][3] = {
      {"topLeading", "top", "topTrailing"},
      {"leading", "center", "trailing"},
      {"bottomLeading", "bottom", "bottomTrailing"},
  };
  return kNames[static_cast<int>(alignment.vertical)][static_cast<int>(alignment.horizontal)];
}

}  // namespace ui
