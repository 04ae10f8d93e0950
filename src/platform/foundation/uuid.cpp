#include "platform/foundation/uuid.h"

#include <uuid/uuid.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/foundation/hasher.h"

namespace foundation {
namespace {

constexpr std::size_t kTextLength = 36;

// Where each byte's two digits start in "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX".
constexpr std::array<std::size_t, 16> kDigitPairs = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};

// The value of each byte as a hexadecimal digit, or -1.
constexpr std::array<std::int8_t, 256> kHexValues = [] {
  std::array<std::int8_t, 256> values{};
  for (std::size_t c = 0; c < values.size(); ++c) {
    if (c >= '0' && c <= '9') {
      values[c] = static_cast<std::int8_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      values[c] = static_cast<std::int8_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      values[c] = static_cast<std::int8_t>(c - 'A' + 10);
    } else {
      values[c] = -1;
    }
  }
  return values;
}();

int hexValue(char c) { return kHexValues[static_cast<unsigned char>(c)]; }

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
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return std::nullopt;
  // Each half of the bytes is gathered in a register, first byte highest, and stored
  // whole: storing the bytes one by one and reading them back as words for the
  // return stalled every read on the stores before it.
  std::uint64_t halves[2] = {0, 0};
  int invalid = 0;  // negative once any digit was not hexadecimal
  for (std::size_t i = 0; i < 16; ++i) {
    const int high = hexValue(text[kDigitPairs[i]]);
    const int low = hexValue(text[kDigitPairs[i] + 1]);
    invalid |= high | low;
    halves[i / 8] = (halves[i / 8] << 8) | ((static_cast<unsigned>(high) << 4) | static_cast<unsigned>(low));
  }
  if (invalid < 0) return std::nullopt;
  Bytes bytes;
  for (std::size_t half = 0; half < 2; ++half) {
    const std::uint64_t inOrder =
        std::endian::native == std::endian::little ? std::byteswap(halves[half]) : halves[half];
    std::memcpy(bytes.data() + half * 8, &inOrder, 8);
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
