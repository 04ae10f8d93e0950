// Alignment: where a view sits inside the space its container offers, on one axis
// (HorizontalAlignment for vertical stacks, VerticalAlignment for horizontal stacks)
// or on both (Alignment, for overlapping stacks, frames and backgrounds). Plain
// values with the platform's names; `name()` gives the name used in the tree's
// JSON and outline forms (Names<T>, schema.h).
#pragma once

#include "platform/ui/schema.h"

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

template <>
struct Names<HorizontalAlignment> {
  static constexpr Named<HorizontalAlignment> table[] = {
      {"leading", HorizontalAlignment::leading},
      {"center", HorizontalAlignment::center},
      {"trailing", HorizontalAlignment::trailing},
  };
};

template <>
struct Names<VerticalAlignment> {
  static constexpr Named<VerticalAlignment> table[] = {
      {"top", VerticalAlignment::top},
      {"center", VerticalAlignment::center},
      {"bottom", VerticalAlignment::bottom},
  };
};

// The nine named alignments.
template <>
struct Names<Alignment> {
  static constexpr Named<Alignment> table[] = {
      {"topLeading", Alignment::topLeading},
      {"top", Alignment::top},
      {"topTrailing", Alignment::topTrailing},
      {"leading", Alignment::leading},
      {"center", Alignment::center},
      {"trailing", Alignment::trailing},
      {"bottomLeading", Alignment::bottomLeading},
      {"bottom", Alignment::bottom},
      {"bottomTrailing", Alignment::bottomTrailing},
  };
};

}  // namespace ui
