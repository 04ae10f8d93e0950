// Overloaded: a visitor for std::visit made from a set of lambdas, one per
// alternative.
#pragma once

namespace ui {

template <typename... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};

// Spelled out for compilers without aggregate deduction (clang before 17).
template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace ui
