// Material: the platform's frosted layers (`Material.thin`, ...), a blur of what
// lies beneath under a light tint. A plain value; as a view it fills the space
// offered.
#pragma once

#include "platform/ui/schema.h"

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

template <>
struct Names<Material> {
  static constexpr Named<Material> table[] = {
      {"ultraThin", Material::ultraThin},   {"thin", Material::thin},
      {"regular", Material::regular},       {"thick", Material::thick},
      {"ultraThick", Material::ultraThick},
  };
};

// A material as a view: its thickness alone.
constexpr auto schema(std::type_identity<Material>) {
  return Schema("Material", field<>("material", Show::positional));
}

}  // namespace ui
