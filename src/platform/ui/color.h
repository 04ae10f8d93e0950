// Color: one of the platform's named colours at an opacity (`Color.white`,
// `Color.cyan.opacity(0.6)`). A plain value; as a view it fills the space offered.
//
// Opacity is kept within 0...1: larger values count as 1, smaller ones and NaN as 0.
// `opacity(x)` multiplies, as the platform's does: `Color.cyan.opacity(0.6)` is cyan
// at 0.6, and taking 0.5 of that gives 0.3.
#pragma once

#include "platform/ui/schema.h"

namespace ui {

// `value` kept within 0...1; NaN counts as 0.
constexpr double clampedOpacity(double value) { return !(value > 0) ? 0 : value > 1 ? 1 : value; }

class Color {
 public:
  enum class Name { clear, black, white, gray, red, orange, yellow, green, blue, cyan, primary };

  // Clear: what a colour read from a tree's JSON is before its members are read.
  constexpr Color() : Color(Name::clear) {}
  constexpr explicit Color(Name name, double opacity = 1.0) : name_(name), opacity_(clampedOpacity(opacity)) {}

  static const Color clear;
  static const Color black;
  static const Color white;
  static const Color gray;
  static const Color red;
  static const Color orange;
  static const Color yellow;
  static const Color green;
  static const Color blue;
  static const Color cyan;
  static const Color primary;  // the foreground colour of the current appearance

  // This colour at `opacity` times its present opacity.
  constexpr Color opacity(double opacity) const { return Color(name_, opacity_ * clampedOpacity(opacity)); }

  constexpr Name name() const { return name_; }
  constexpr double opacity() const { return opacity_; }

  friend constexpr bool operator==(const Color&, const Color&) = default;

 private:
  Name name_;
  double opacity_;
};

inline constexpr Color Color::clear{Color::Name::clear};
inline constexpr Color Color::black{Color::Name::black};
inline constexpr Color Color::white{Color::Name::white};
inline constexpr Color Color::gray{Color::Name::gray};
inline constexpr Color Color::red{Color::Name::red};
inline constexpr Color Color::orange{Color::Name::orange};
inline constexpr Color Color::yellow{Color::Name::yellow};
inline constexpr Color Color::green{Color::Name::green};
inline constexpr Color Color::blue{Color::Name::blue};
inline constexpr Color Color::cyan{Color::Name::cyan};
inline constexpr Color Color::primary{Color::Name::primary};

template <>
struct Names<Color::Name> {
  static constexpr Named<Color::Name> table[] = {
      {"clear", Color::Name::clear},   {"black", Color::Name::black},     {"white", Color::Name::white},
      {"gray", Color::Name::gray},     {"red", Color::Name::red},         {"orange", Color::Name::orange},
      {"yellow", Color::Name::yellow}, {"green", Color::Name::green},     {"blue", Color::Name::blue},
      {"cyan", Color::Name::cyan},     {"primary", Color::Name::primary},
  };
};

// A colour as a view: its name and opacity (members "color" and "opacity").
constexpr auto schema(std::type_identity<Color>) { return Schema("Color", field<>("color", Show::positional)); }

}  // namespace ui
