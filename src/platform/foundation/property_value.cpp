#include "platform/foundation/property_value.h"

namespace foundation {

std::string_view kindName(PropertyKind kind) {
  switch (kind) {
    case PropertyKind::data: return "data";
    case PropertyKind::string: return "string";
    case PropertyKind::integer: return "integer";
    case PropertyKind::real: return "real";
    case PropertyKind::boolean: return "boolean";
    case PropertyKind::date: return "date";
    case PropertyKind::array: return "array";
    case PropertyKind::dictionary: return "dictionary";
  }
  return "unknown";
}

}  // namespace foundation
