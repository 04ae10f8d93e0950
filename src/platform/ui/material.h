// Material: the platform's frosted layers (`Material.thin`, ...), a blur of what
// lies beneath under a light tint. A plain value; as a view it fills the space
// offered.
#pragma once

#include <string_view>

namespace ui {

struct Material {
  enum class Thickness { ultraThin, thin, regular, thick, ultraThick };

  Thickness thickness = Thickness::regular;

  static const Material ultraThin;
  static const Material thin;
  static const Material regular;
  static const Material thick;
  static const Material ultraThick;

  friend constexpr bool operator==(Material, Material) = default;
};

inline constexpr Material Material::ultraThin{Material::Thickness::ultraThin};
inline constexpr Material Material::thin{Material::Thickness::thin};
inline constexpr Material Material::regular{Material::Thickness::regular};
inline constexpr Material Material::thick{Material::Thickness::thick};
inline constexpr Material Material::ultraThick{Material::Thickness::ultraThick};

constexpr std::string_view name(Material material) {
  switch (material.thickness) {
    case Material::Thickness::ultraThin: return "ultraThin";
    case Material::Thickness::thin: return "thin";
    case Material::Thickness::regular: return "regular";
    case Material::Thickness::thick: return "thick";
    case Material::Thickness::ultraThick: return "ultraThick";
  }
  return "?";
}

}  // namespace ui
