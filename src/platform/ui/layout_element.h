// Layout elements: the working form of a view tree while it is laid out (internal to
// layout). Every node and every modifier becomes one Element, each modifier's element
// wrapping what it modifies, so that a view is a Chain of elements whose top is its
// outermost modifier. An element answers what size it chooses for a proposal
// (remembering recent answers, as proposals repeat) and, given its frame, records
// itself into the PlacedView of its view and places what it contains.
//
// Also here: what flows from a view to everything inside it (Environment) and the
// small geometry every element shares. Proposals reaching an element are cleaned:
// never NaN, never negative.
#pragma once

#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/alignment.h"
#include "platform/ui/color.h"
#include "platform/ui/font.h"
#include "platform/ui/layout_geometry.h"
#include "platform/ui/layout_result.h"

namespace ui::elements {

// Remembered sizes per element; proposals repeat a few at a time, so a small list will do.
inline constexpr std::size_t kMemoEntries = 48;

enum class Axis { vertical, horizontal };

// What flows from a view to everything inside it.
struct Environment {
  std::optional<Font> font;
  Color foreground = Color::primary;
};

inline bool isFinite(double value) { return std::isfinite(value); }

inline double clean(double value) { return std::isnan(value) || value < 0 ? 0 : value; }

inline ProposedSize cleaned(ProposedSize proposal) {
  if (proposal.width) proposal.width = clean(*proposal.width);
  if (proposal.height) proposal.height = clean(*proposal.height);
  return proposal;
}

// A size chosen while probing may be infinite; where it must be drawn, the space
// offered stands in.
inline Size finiteIn(Size size, Size limit) {
  if (!isFinite(size.width)) size.width = isFinite(limit.width) ? limit.width : 0;
  if (!isFinite(size.height)) size.height = isFinite(limit.height) ? limit.height : 0;
  return size;
}

inline double alignedOffset(double available, double length, int position) {  // 0 start, 1 center, 2 end
  if (position == 0) return 0;
  if (position == 1) return (available - length) / 2;
  return available - length;
}

inline int position(HorizontalAlignment alignment) {
  return alignment == HorizontalAlignment::leading ? 0 : alignment == HorizontalAlignment::center ? 1 : 2;
}
inline int position(VerticalAlignment alignment) {
  return alignment == VerticalAlignment::top ? 0 : alignment == VerticalAlignment::center ? 1 : 2;
}

inline Rect aligned(Size size, Rect bounds, Alignment alignment) {
  return Rect{bounds.x + alignedOffset(bounds.width, size.width, position(alignment.horizontal)),
              bounds.y + alignedOffset(bounds.height, size.height, position(alignment.vertical)), size.width,
              size.height};
}

class Element {
 public:
  virtual ~Element() = default;

  Size size(ProposedSize proposal) {
    proposal = cleaned(proposal);
    for (const auto& [asked, answer] : memo_) {
      if (asked == proposal) return answer;
    }
    const Size answer = measure(proposal);
    if (memo_.size() >= kMemoEntries) memo_.clear();
    memo_.emplace_back(proposal, answer);
    return answer;
  }

  // Records this element's part of `out` for the frame `bounds` it was given after
  // being offered `proposal`, and places what it contains.
  virtual void place(ProposedSize proposal, Rect bounds, PlacedView& out) = 0;

 protected:
  virtual Size measure(ProposedSize proposal) = 0;

 private:
  std::vector<std::pair<ProposedSize, Size>> memo_;
};

// A view: its node wrapped in its modifiers.
struct Chain {
  std::unique_ptr<Element> top;
  std::string path;  // the view's place in the tree, as PlacedView::path
  std::size_t modifierCount = 0;
  bool spacer = false;
};

inline PlacedView placeChain(Chain& chain, ProposedSize proposal, Rect bounds) {
  PlacedView out;
  out.path = chain.path;
  out.modifiers.resize(chain.modifierCount);
  chain.top->place(cleaned(proposal), bounds, out);
  return out;
}

}  // namespace ui::elements
