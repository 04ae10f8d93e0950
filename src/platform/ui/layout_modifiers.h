// Layout modifiers: what each modifier does in layout (internal to layout), all in
// layout_modifiers.cpp, so that a new modifier is added there, in modifier.h and in
// view_modifiers.h, and nowhere else.
//
// - .padding insets the proposal (kDefaultPadding unless given) and grows the view's
//   size by as much;
// - .frame(min/ideal/max…) clamps what its view is offered and what it reports, and
//   aligns the view in it;
// - .aspectRatio offers its view the largest size of that ratio inside (fit) or the
//   smallest around (fill) what it is offered;
// - .background and .overlay are the size of the view they decorate, and offer their
//   content exactly that;
// - .font and .foregroundColor flow to everything inside (Environment); .opacity is
//   recorded for drawing; they and the rest change no size.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/ui/layout_element.h"
#include "platform/ui/modifier.h"

namespace ui::elements {

class Builder;

// Where a modifier is applied: what the views it holds are built with.
struct ModifierSite {
  Builder& builder;
  const Environment& outside;  // the environment outside the modifier
  const std::string& path;     // the modifier's own path, "$.modifiers[2]"
  int depth;
  int nesting;
};

// The environment inside `modifier`: `environment`, changed by what the modifier sets.
void enter(const Modifier& modifier, Environment& environment);

// `inner` wrapped in the element of `modifier`, the `index`th of its view's chain.
std::unique_ptr<Element> modifierElement(std::size_t index, const Modifier& modifier, std::unique_ptr<Element> inner,
                                         const ModifierSite& site);

}  // namespace ui::elements
