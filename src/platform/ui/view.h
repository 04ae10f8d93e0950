// View: one node of a declarative view tree, with the modifiers applied to it.
//
// A tree is built from the platform's builders (VStack, HStack, ZStack, Spacer, Text,
// Image, Button, conditional and optional content, colours and materials as views) and
// modifier calls, and is then read by whoever renders it: the JSON and outline forms,
// and a layout engine. It is a plain value: copyable, children held by value (parts
// that are shared are immutable, so sharing cannot be seen, except for Image, whose
// identity is meant to be seen). Nothing in it changes after it is built, so a tree
// may be read from several threads at once.
//
// Reading a tree: `node()` is one of the node kinds below; `modifiers()` lists the
// modifiers in the order applied, each wrapping the view as modified before it;
// `children()` lists the views the node contains, in order (a stack's content, a
// button's label, the chosen branch of a conditional). A modifier's view argument (a
// background, an overlay) is no child: it is read from the modifier.
//
//   View body = VStack(HorizontalAlignment::center, std::nullopt, {
//                   Text("Kadenzo").font(Font::caption),
//                   Spacer(),
//                   ifElse(isPlaylist, {tempo, name}, {tempo, marking}),
//                   playImage().font(Font::largeTitle),
//               })
//                   .padding()
//                   .foregroundColor(Color::white);
#pragma once

#include <concepts>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/ui/alignment.h"
#include "platform/ui/box.h"
#include "platform/ui/color.h"
#include "platform/ui/image.h"
#include "platform/ui/material.h"
#include "platform/ui/modifier.h"
#include "platform/ui/text.h"
#include "platform/ui/view_modifiers.h"

namespace ui {

class View;

// The node kinds besides Text, Image, Color and Material, which are their own nodes.
namespace nodes {

// A stack that lines its children up on one axis and aligns them on the other: a
// VStack (aligned by HorizontalAlignment) or an HStack (by VerticalAlignment).
template <typename CrossAlignment>
struct LinearStack {
  CrossAlignment alignment;
  std::optional<double> spacing;  // absent: the platform's default spacing
  std::vector<View> children;
};
using VStack = LinearStack<HorizontalAlignment>;
using HStack = LinearStack<VerticalAlignment>;

template <typename CrossAlignment>
constexpr auto schema(std::type_identity<LinearStack<CrossAlignment>>) {
  using Stack = LinearStack<CrossAlignment>;
  return Schema(std::is_same_v<Stack, VStack> ? "VStack" : "HStack",
                field<&Stack::alignment>("alignment", Show::labelled),
                field<&Stack::spacing>("spacing", Show::labelled), children<&Stack::children>());
}

struct ZStack {
  Alignment alignment;
  std::vector<View> children;
};
constexpr auto schema(std::type_identity<ZStack>) {
  return Schema("ZStack", field<&ZStack::alignment>("alignment", Show::labelled), children<&ZStack::children>());
}

struct Spacer {
  std::optional<double> minLength;  // absent: the platform's default
};
constexpr auto schema(std::type_identity<Spacer>) {
  return Schema("Spacer", field<&Spacer::minLength>("minLength", Show::labelled));
}

// `label` is its one child. Read back from JSON, a button's action does nothing.
struct Button {
  std::function<void()> action = [] {};
  Box<View> label;
};
constexpr auto schema(std::type_identity<Button>) { return Schema("Button", children<&Button::label>()); }

// The content of a two-way choice made when the tree was built: which branch was
// taken and the views of that branch, placed directly in the parent.
struct Conditional {
  bool branch;
  std::vector<View> children;
};
constexpr auto schema(std::type_identity<Conditional>) {
  return Schema("Conditional", field<&Conditional::branch>("branch", Show::labelled),
                children<&Conditional::children>());
}

// Nothing: the content of an absent optional view.
struct Empty {};
constexpr auto schema(std::type_identity<Empty>) { return Schema("Empty"); }

}  // namespace nodes

class View : public ViewModifiers<View> {
 public:
  using Node = std::variant<nodes::VStack, nodes::HStack, nodes::ZStack, nodes::Spacer, Text, Image, nodes::Button,
                            nodes::Conditional, nodes::Empty, Color, Material>;

  // An Empty node, as an absent optional view.
  View() : node_(nodes::Empty{}) {}
  // Every node kind is a view without modifiers; implicit, so that a list of children
  // reads as the platform's does.
  View(nodes::VStack node) : node_(std::move(node)) {}
  View(nodes::HStack node) : node_(std::move(node)) {}
  View(nodes::ZStack node) : node_(std::move(node)) {}
  View(nodes::Spacer node) : node_(node) {}
  View(Text text) : node_(std::move(text)) {}
  View(Image image) : node_(std::move(image)) {}
  View(nodes::Button node) : node_(std::move(node)) {}
  View(nodes::Conditional node) : node_(std::move(node)) {}
  View(nodes::Empty node) : node_(node) {}
  View(Color color) : node_(color) {}
  View(Material material) : node_(material) {}

  const Node& node() const { return node_; }
  const std::vector<Modifier>& modifiers() const { return modifiers_; }
  std::span<const View> children() const;

  // The node as kind T, or null when it is of another kind.
  template <typename T>
  const T* as() const {
    return std::get_if<T>(&node_);
  }

  // This view with `modifier` applied after the ones it has.
  View modified(Modifier modifier) const&;
  View modified(Modifier modifier) &&;

 private:
  Node node_;
  std::vector<Modifier> modifiers_;
};

// Calls `visit` with `root` and every view inside it, depth first: a view, then the
// view arguments of its modifiers (backgrounds, overlays) in the order applied, then
// its children.
void forEachView(const View& root, const std::function<void(const View&)>& visit);

// The node kind's name: "VStack", "HStack", "ZStack", "Spacer", "Text", "Image",
// "Button", "Conditional", "Empty", "Color", "Material".
std::string_view typeName(const View::Node& node);

// The views a stack or a branch holds, as written at the call site: a braced list
// `{Text("a"), Spacer()}` or a vector. The views of a braced list are moved into the
// stack, not copied (a copy of a view copies its whole subtree); only views named
// by the caller, like any lvalue, are copied.
class ViewList {
 public:
  // One view of a braced list. Its view is mutable so that it can be moved out of the
  // list, whose elements are otherwise const.
  struct Item {
    template <typename T>
    requires std::constructible_from<View, T&&> Item(T&& content)
        : view(std::forward<T>(content)) {}  // NOLINT: implicit by design
    mutable View view;
  };

  ViewList(std::initializer_list<Item> items) {
    views_.reserve(items.size());
    for (const Item& item : items) views_.push_back(std::move(item.view));
  }
  ViewList(std::vector<View> views) : views_(std::move(views)) {}  // NOLINT: implicit by design

  std::vector<View> take() && { return std::move(views_); }

 private:
  std::vector<View> views_;
};

// Builders, with the platform's names and defaults (center alignment, default spacing).
View VStack(HorizontalAlignment alignment, std::optional<double> spacing, ViewList content);
View VStack(ViewList content);
View HStack(VerticalAlignment alignment, std::optional<double> spacing, ViewList content);
View HStack(ViewList content);
View ZStack(Alignment alignment, ViewList content);
View ZStack(ViewList content);
View Spacer(std::optional<double> minLength = std::nullopt);
View Button(std::function<void()> action, View label);

// Conditional content: the views of `whenTrue` when `condition` holds, else those of
// `whenFalse`; the tree records which branch was taken.
View ifElse(bool condition, ViewList whenTrue, ViewList whenFalse);

// The same, with each branch given as a function that returns its views: only the
// branch taken is built, as the platform's view builder evaluates only that one.
template <typename WhenTrue, typename WhenFalse>
requires std::invocable<WhenTrue&> && std::invocable<WhenFalse&> View ifElse(bool condition, WhenTrue&& whenTrue,
                                                                             WhenFalse&& whenFalse) {
  return nodes::Conditional{condition, condition ? ViewList(whenTrue()).take() : ViewList(whenFalse()).take()};
}

// Optional content: the view itself, or an Empty node when there is none.
View optionalView(std::optional<View> view);

// The modifier calls of ViewModifiers (view_modifiers.h) end here, where View is complete.

template <typename Self>
View ViewModifiers<Self>::with(Modifier modifier) const& {
  return View(static_cast<const Self&>(*this)).modified(std::move(modifier));
}
template <typename Self>
View ViewModifiers<Self>::with(Modifier modifier) && {
  return View(static_cast<Self&&>(*this)).modified(std::move(modifier));
}

}  // namespace ui
