// Layout geometry: sizes, rectangles and the size a parent proposes to a child, in
// points. Plain values.
//
// A proposal leaves an axis absent to ask for the view's ideal length on it; zero asks
// for its smallest, infinity for its largest. Sizes a view chooses may be infinite only
// in answer to an infinite proposal.
#pragma once

#include <algorithm>
#include <cmath>
#include <optional>

namespace ui {

struct Size {
  double width = 0;
  double height = 0;

  friend constexpr bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  constexpr double minX() const { return x; }
  constexpr double minY() const { return y; }
  constexpr double maxX() const { return x + width; }
  constexpr double maxY() const { return y + height; }
  constexpr double midX() const { return x + width / 2; }
  constexpr double midY() const { return y + height / 2; }
  constexpr Size size() const { return {width, height}; }

  // Whether `other` lies inside this rectangle, allowing `tolerance` on every side.
  constexpr bool contains(const Rect& other, double tolerance = 1e-6) const {
    return other.minX() >= minX() - tolerance && other.minY() >= minY() - tolerance &&
           other.maxX() <= maxX() + tolerance && other.maxY() <= maxY() + tolerance;
  }

  // The smallest rectangle holding both; an empty-sized rectangle still counts by
  // its position.
  static constexpr Rect unionOf(const Rect& a, const Rect& b) {
    const double left = std::min(a.minX(), b.minX());
    const double top = std::min(a.minY(), b.minY());
    return Rect{left, top, std::max(a.maxX(), b.maxX()) - left, std::max(a.maxY(), b.maxY()) - top};
  }

  // The part inside both; zero-sized at a corner of `a` when they do not meet.
  static constexpr Rect intersection(const Rect& a, const Rect& b) {
    const double left = std::max(a.minX(), b.minX());
    const double top = std::max(a.minY(), b.minY());
    const double right = std::min(a.maxX(), b.maxX());
    const double bottom = std::min(a.maxY(), b.maxY());
    if (right <= left || bottom <= top) return Rect{a.x, a.y, 0, 0};
    return Rect{left, top, right - left, bottom - top};
  }

  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

struct ProposedSize {
  std::optional<double> width;
  std::optional<double> height;

  // Nothing proposed on either axis: asks for the ideal size.
  static constexpr ProposedSize ideal() { return {}; }
  static constexpr ProposedSize of(Size size) { return {size.width, size.height}; }

  friend constexpr bool operator==(const ProposedSize&, const ProposedSize&) = default;
};

}  // namespace ui
