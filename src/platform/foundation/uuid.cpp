#include "platform/foundation/uuid.h"

#include <uuid/uuid.h>

#include <cstddef>

#include "platform/foundation/hasher.h"

namespace foundation {
namespace {

constexpr std::size_t kTextLength = 36;

constexpr bool isHyphenPosition(std::size_t index) { return index == 8 || index == 13 || index == 18 || index == 23; }

// The value of one hexadecimal digit, or -1.
constexpr int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

UUID UUID::random() {
  uuid_t raw;
  uuid_generate_random(raw);  // sets the version 4 and variant 1 bits itself
  Bytes bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = raw[i];
  return UUID(bytes);
}

// Parsed by hand rather than with uuid_parse(): that one wants a NUL-terminated
// string, and the accepted shape must be exactly ours, whatever the library version.
std::optional<UUID> UUID::parse(std::string_view text) {
  if (text.size() != kTextLength) return std::nullopt;
  Bytes bytes{};
  std::size_t byteIndex = 0;
  for (std::size_t i = 0; i < kTextLength; ++i) {
    if (isHyphenPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      continue;
    }
    const int high = hexValue(text[i]);
    const int low = i + 1 < kTextLength ? hexValue(text[i + 1]) : -1;
    if (high < 0 || low < 0) return std::nullopt;
    bytes[byteIndex++] = static_cast<std::uint8_t>(high * 16 + low);
    ++i;
  }
  return UUID(bytes);
}

std::string UUID::uuidString() const {
  uuid_t raw;
  for (std::size_t i = 0; i < bytes_.size(); ++i) raw[i] = bytes_[i];
  char text[kTextLength + 1];
  uuid_unparse_upper(raw, text);
  return std::string(text, kTextLength);
}

void UUID::hash(Hasher& hasher) const { hasher.combineBytes(bytes_); }

}  // namespace foundation
