// Edges of a rectangle: `Edge`, a set of them (`EdgeSet`, the platform's Edge.Set,
// used by padding and by the safe-area edges an overlay ignores) and lengths per
// edge (`EdgeInsets`). Plain values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ui/schema.h"

namespace ui {

enum class Edge : std::uint8_t { top, leading, bottom, trailing };

template <>
struct Names<Edge> {
  static constexpr Named<Edge> table[] = {
      {"top", Edge::top}, {"leading", Edge::leading}, {"bottom", Edge::bottom}, {"trailing", Edge::trailing}};
};

inline constexpr Edge kAllEdges[] = {Edge::top, Edge::leading, Edge::bottom, Edge::trailing};

class EdgeSet {
 public:
  constexpr EdgeSet() = default;  // no edge

  static const EdgeSet all;
  static const EdgeSet horizontal;  // leading and trailing
  static const EdgeSet vertical;    // top and bottom
  static const EdgeSet top;
  static const EdgeSet leading;
  static const EdgeSet bottom;
  static const EdgeSet trailing;

  constexpr bool contains(Edge edge) const { return (bits_ & bit(edge)) != 0; }
  constexpr bool isEmpty() const { return bits_ == 0; }

  // The set of `edge` alone.
  static constexpr EdgeSet only(Edge edge) { return EdgeSet(bit(edge)); }

  friend constexpr EdgeSet operator|(EdgeSet a, EdgeSet b) {
    return EdgeSet(static_cast<std::uint8_t>(a.bits_ | b.bits_));
  }
  friend constexpr bool operator==(EdgeSet, EdgeSet) = default;

 private:
  constexpr explicit EdgeSet(std::uint8_t bits) : bits_(bits) {}
  static constexpr std::uint8_t bit(Edge edge) { return static_cast<std::uint8_t>(1U << static_cast<unsigned>(edge)); }

  std::uint8_t bits_ = 0;
};

inline constexpr EdgeSet EdgeSet::top{EdgeSet::bit(Edge::top)};
inline constexpr EdgeSet EdgeSet::leading{EdgeSet::bit(Edge::leading)};
inline constexpr EdgeSet EdgeSet::bottom{EdgeSet::bit(Edge::bottom)};
inline constexpr EdgeSet EdgeSet::trailing{EdgeSet::bit(Edge::trailing)};
inline constexpr EdgeSet EdgeSet::horizontal = EdgeSet::leading | EdgeSet::trailing;
inline constexpr EdgeSet EdgeSet::vertical = EdgeSet::top | EdgeSet::bottom;
inline constexpr EdgeSet EdgeSet::all = EdgeSet::horizontal | EdgeSet::vertical;

// The set's name when it is one of the named sets ("all", "horizontal", "vertical",
// a single edge), "none" when empty, otherwise its edges joined by '+' ("top+leading").
inline std::string name(EdgeSet edges) {
  if (edges == EdgeSet::all) return "all";
  if (edges == EdgeSet::horizontal) return "horizontal";
  if (edges == EdgeSet::vertical) return "vertical";
  if (edges.isEmpty()) return "none";
  std::string joined;
  for (Edge edge : kAllEdges) {
    if (!edges.contains(edge)) continue;
    if (!joined.empty()) joined += '+';
    joined += name(edge);
  }
  return joined;
}

struct EdgeInsets {
  double top = 0;
  double leading = 0;
  double bottom = 0;
  double trailing = 0;

  friend constexpr bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

}  // namespace ui
