#include "platform/ui/view.h"

#include <utility>

namespace ui {

std::span<const View> View::children() const {
  return std::visit(
      []<typename T>(const T& node) {
        std::span<const View> out;
        schemaOf<T>().forEach([&](const auto& field) {
          using Value = std::remove_cvref_t<decltype(field.of(node))>;
          if constexpr (std::is_same_v<Value, std::vector<View>>) {
            out = field.of(node);
          } else if constexpr (std::is_same_v<Value, Box<View>>) {
            if (field.form == Form::children) out = std::span<const View>(&*field.of(node), 1);
          }
        });
        return out;
      },
      node_);
}

void forEachView(const View& root, const std::function<void(const View&)>& visit) {
  visit(root);
  for (const Modifier& modifier : root.modifiers()) {
    std::visit(
        [&]<typename T>(const T& alternative) {
          schemaOf<T>().forEach([&](const auto& field) {
            using Value = std::remove_cvref_t<decltype(field.of(alternative))>;
            if constexpr (std::is_same_v<Value, Box<View>>) forEachView(*field.of(alternative), visit);
          });
        },
        modifier);
  }
  for (const View& child : root.children()) forEachView(child, visit);
}

namespace {

// Room for a few modifiers at the first: a view usually gets several, one call at a
// time, and growing one by one moved every modifier again at each step.
constexpr std::size_t kFirstModifierRoom = 4;

void append(std::vector<Modifier>& modifiers, Modifier modifier) {
  if (modifiers.capacity() == 0) modifiers.reserve(kFirstModifierRoom);
  modifiers.push_back(std::move(modifier));
}

}  // namespace

View View::modified(Modifier modifier) const& {
  View copy = *this;
  append(copy.modifiers_, std::move(modifier));
  return copy;
}

View View::modified(Modifier modifier) && {
  append(modifiers_, std::move(modifier));
  return std::move(*this);
}

std::string_view typeName(const View::Node& node) {
  return std::visit([]<typename T>(const T&) { return schemaOf<T>().name; }, node);
}

std::string_view name(const Modifier& modifier) {
  return std::visit([]<typename M>(const M&) { return schemaOf<M>().name; }, modifier);
}

View VStack(HorizontalAlignment alignment, std::optional<double> spacing, ViewList content) {
  return nodes::VStack{alignment, spacing, std::move(content).take()};
}
View VStack(ViewList content) { return VStack(HorizontalAlignment::center, std::nullopt, std::move(content)); }

View HStack(VerticalAlignment alignment, std::optional<double> spacing, ViewList content) {
  return nodes::HStack{alignment, spacing, std::move(content).take()};
}
View HStack(ViewList content) { return HStack(VerticalAlignment::center, std::nullopt, std::move(content)); }

View ZStack(Alignment alignment, ViewList content) { return nodes::ZStack{alignment, std::move(content).take()}; }
View ZStack(ViewList content) { return ZStack(Alignment::center, std::move(content)); }

View Spacer(std::optional<double> minLength) { return nodes::Spacer{minLength}; }

View Button(std::function<void()> action, View label) { return nodes::Button{std::move(action), std::move(label)}; }

View ifElse(bool condition, ViewList whenTrue, ViewList whenFalse) {
  return nodes::Conditional{condition, condition ? std::move(whenTrue).take() : std::move(whenFalse).take()};
}

View optionalView(std::optional<View> view) {
  if (view) return std::move(*view);
  return nodes::Empty{};
}

}  // namespace ui
