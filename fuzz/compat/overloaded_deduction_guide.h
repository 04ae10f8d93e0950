// Force-included into clang builds (see fuzz/clang_compat.cmake) when ui::Overloaded
// declares no deduction guide: clang before 17 cannot deduce an aggregate's template
// arguments from its initializers, so `Overloaded{lambda, lambda}` needs this guide.
#pragma once

#include "../../src/platform/ui/overloaded.h"

namespace ui {

template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace ui
