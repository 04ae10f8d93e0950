// CodingKey: the keys of a keyed record, as the platform's `CodingKey` protocol gives
// them: a text form, no integer form, and a strict conversion back from text.
//
// A record declares its keys as an enum class whose enumerators are numbered 0..N-1
// in field order, and specialises `CodingKeyNames` with their texts in that order.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>

namespace foundation {

template <typename Key>
struct CodingKeyNames;  // static constexpr std::array<std::string_view, N> names;

template <typename Key>
concept CodingKey = std::is_enum_v<Key> && requires { CodingKeyNames<Key>::names.size(); };

// The key's text, letter for letter.
template <CodingKey Key>
constexpr std::string_view stringValue(Key key) {
  return CodingKeyNames<Key>::names[static_cast<std::size_t>(key)];
}

// Keys have no integer form.
template <CodingKey Key>
constexpr std::optional<int> intValue(Key) {
  return std::nullopt;
}

// The key whose text equals `text` exactly (case-sensitive), or none.
template <CodingKey Key>
constexpr std::optional<Key> codingKeyFromString(std::string_view text) {
  const auto& names = CodingKeyNames<Key>::names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == text) return static_cast<Key>(i);
  }
  return std::nullopt;
}

// No integer ever converts to a key.
template <CodingKey Key>
constexpr std::optional<Key> codingKeyFromInt(int) {
  return std::nullopt;
}

}  // namespace foundation
