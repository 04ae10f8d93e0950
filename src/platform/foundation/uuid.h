// UUID: a 128-bit universally unique identifier, the stand-in for the platform's `UUID`.
//
// A plain value: copyable, comparable, hashable. `UUID::random()` makes a fresh
// version-4 identifier; `UUID::parse` accepts exactly the 36-character textual form
// (8-4-4-4-12 hexadecimal digits separated by hyphens, either letter case) and nothing
// else. The text form is always upper case. Thread-safe: there is no shared state.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

class Hasher;

class UUID {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  // A fresh random (version 4, variant 1) identifier.
  static UUID random();

  // The identifier written in `text`, or none when `text` is not exactly the
  // 36-character form: no braces, no missing or extra hyphens, no spaces, no signs.
  static std::optional<UUID> parse(std::string_view text);

  // Builds an identifier from its 16 bytes, most significant first.
  static constexpr UUID fromBytes(const Bytes& bytes) { return UUID(bytes); }

  // The 36-character form with upper-case hexadecimal digits.
  std::string uuidString() const;

  const Bytes& bytes() const { return bytes_; }

  // Feeds the 16 bytes into `hasher`.
  void hash(Hasher& hasher) const;

  friend bool operator==(const UUID&, const UUID&) = default;
  friend auto operator<=>(const UUID&, const UUID&) = default;

 private:
  constexpr explicit UUID(const Bytes& bytes) : bytes_(bytes) {}
  Bytes bytes_{};
};

}  // namespace foundation
