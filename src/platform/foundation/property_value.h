// PropertyValue: one value stored in a preferences suite, keeping its kind.
//
// The kinds are those a preferences suite can hold: data, string, integer, real,
// boolean, date, array and dictionary. Arrays and dictionaries nest. A plain value:
// copyable and comparable (strings compare by their bytes here; this is storage,
// not text semantics).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/foundation/data.h"
#include "platform/foundation/date.h"

namespace foundation {

enum class PropertyKind { data, string, integer, real, boolean, date, array, dictionary };

// "data", "string", "integer", "real", "boolean", "date", "array", "dictionary".
std::string_view kindName(PropertyKind kind);

struct PropertyValue {
  using Array = std::vector<PropertyValue>;
  using Dictionary = std::map<std::string, PropertyValue>;
  using Storage = std::variant<Data, std::string, std::int64_t, double, bool, Date, Array, Dictionary>;

  Storage storage;

  PropertyKind kind() const { return static_cast<PropertyKind>(storage.index()); }

  template <typename T>
  const T* getIf() const { return std::get_if<T>(&storage); }

  friend bool operator==(const PropertyValue&, const PropertyValue&) = default;
};

}  // namespace foundation
