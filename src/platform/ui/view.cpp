#include "platform/ui/view.h"

#include <utility>

#include "platform/ui/overloaded.h"

namespace ui {

std::span<const View> View::children() const {
  return std::visit(Overloaded{
                        [](const nodes::VStack& stack) { return std::span<const View>(stack.children); },
                        [](const nodes::HStack& stack) { return std::span<const View>(stack.children); },
                        [](const nodes::ZStack& stack) { return std::span<const View>(stack.children); },
                        [](const nodes::Conditional& choice) { return std::span<const View>(choice.children); },
                        [](const nodes::Button& button) { return std::span<const View>(&*button.label, 1); },
                        [](const auto&) { return std::span<const View>(); },
                    },
                    node_);
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
  return std::visit(Overloaded{
                        [](const nodes::VStack&) { return std::string_view("VStack"); },
                        [](const nodes::HStack&) { return std::string_view("HStack"); },
                        [](const nodes::ZStack&) { return std::string_view("ZStack"); },
                        [](const nodes::Spacer&) { return std::string_view("Spacer"); },
                        [](const Text&) { return std::string_view("Text"); },
                        [](const Image&) { return std::string_view("Image"); },
                        [](const nodes::Button&) { return std::string_view("Button"); },
                        [](const nodes::Conditional&) { return std::string_view("Conditional"); },
                        [](const nodes::Empty&) { return std::string_view("Empty"); },
                        [](const Color&) { return std::string_view("Color"); },
                        [](const Material&) { return std::string_view("Material"); },
                    },
                    node);
}

std::string_view name(const Modifier& modifier) {
  return std::visit(Overloaded{
                        [](const FontModifier&) { return std::string_view("font"); },
                        [](const ForegroundColorModifier&) { return std::string_view("foregroundColor"); },
                        [](const OpacityModifier&) { return std::string_view("opacity"); },
                        [](const PaddingModifier&) { return std::string_view("padding"); },
                        [](const FrameModifier&) { return std::string_view("frame"); },
                        [](const BackgroundModifier&) { return std::string_view("background"); },
                        [](const OverlayModifier&) { return std::string_view("overlay"); },
                        [](const AspectRatioModifier&) { return std::string_view("aspectRatio"); },
                        [](const ButtonStyleModifier&) { return std::string_view("buttonStyle"); },
                    },
                    modifier);
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
