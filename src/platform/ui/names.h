// Names: the names of an enumeration's values (or of a plain value type's named
// values), one table per type, `Names<T>::table`. Every place that spells a value
// as text, or reads it back, goes through that table: `name(value)` and
// `byName<T>(text)` here, the view tree's JSON reader and outline (schema.h).
#pragma once

#include <optional>
#include <string_view>

namespace ui {

// One value of an enumeration and its name.
template <typename T>
struct Named {
  std::string_view name;
  T value;
};

// Specialised per enumeration: `static constexpr Named<T> table[] = {...};`. An entry
// may carry more about its value than its name (a font's size): any entry with
// `name` and `value` will do.
template <typename T>
struct Names;

template <typename T>
concept NamedValue = requires {
  Names<T>::table;
};

// The value's name in its table ("?" for a value the table lacks).
template <NamedValue T>
constexpr std::string_view name(const T& value) {
  for (const auto& entry : Names<T>::table) {
    if (entry.value == value) return entry.name;
  }
  return "?";
}

// The value of that name in T's table, or none.
template <NamedValue T>
constexpr std::optional<T> byName(std::string_view text) {
  for (const auto& entry : Names<T>::table) {
    if (entry.name == text) return entry.value;
  }
  return std::nullopt;
}

}  // namespace ui
