// Material: the platform's frosted layers (`Material::thin`, ...), a blur of what
// lies beneath under a light tint, thinner or thicker. A plain value, one of the
// five; as a view it fills the space offered.
#pragma once

#include "platform/ui/schema.h"

namespace ui {

enum class Material { ultraThin, thin, regular, thick, ultraThick };

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
