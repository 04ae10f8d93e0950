// Layout stacks: the elements of views that hold others (internal to layout).
//
// VStack and HStack share their length among their children: a child gets what is
// left divided by the children not yet sized, the least flexible first (spacers and
// views with infinite frames, which take all they are offered, come last). Spacing is
// the stack's, or kDefaultSpacing between neighbours and none next to a Spacer, whose
// minimum length keeps the gap; children sit across the axis by the stack's
// alignment. A ZStack offers every child its whole size and aligns them.
//
// A stack holds Slots: its views, the groups of a Conditional (whose chosen views
// join the stack as if they were its own children), and Empty views, which take no
// space and no spacing. A Button holds its label and is its size.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/layout_element.h"

namespace ui::elements {

enum class StackKind { vertical, horizontal, overlapping };

// A view as its parent stack holds it: a view, a Conditional's group, or Empty.
struct Slot {
  enum class Kind { view, conditional, empty } kind = Kind::view;
  Chain chain;                             // view
  std::vector<Slot> slots;                 // conditional
  std::vector<std::string> modifierNames;  // empty: its modifiers, for the result
  std::size_t item = 0;                    // view: index among the stack's items (set by the stack)
  std::string path;                        // conditional and empty: their place in the tree
};

// `type` is the view's type in the result ("VStack", "Conditional", ...).
std::unique_ptr<Element> stackElement(std::string type, StackKind kind, Alignment alignment,
                                      std::optional<double> spacing, std::vector<Slot> slots);
std::unique_ptr<Element> buttonElement(Chain label);

}  // namespace ui::elements
