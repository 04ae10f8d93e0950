#include "hex.h"

namespace host {

namespace {

constexpr std::string_view kDigits = "0123456789abcdef";

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string hexDigits(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

std::expected<std::string, std::string> bytesFromHex(std::string_view digits) {
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (digitValue(digits[i]) < 0) {
      const auto byte = static_cast<unsigned char>(digits[i]);
      const std::string shown =
          byte >= 0x20 && byte < 0x7F ? std::string{'\'', digits[i], '\''} : "byte " + std::to_string(byte);
      return std::unexpected(shown + " at offset " + std::to_string(i) + " is not a hex digit");
    }
  }
  if (digits.size() % 2 != 0) {
    return std::unexpected("an odd number of hex digits (" + std::to_string(digits.size()) + "); each byte takes two");
  }
  std::string bytes;
  bytes.reserve(digits.size() / 2);
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes += static_cast<char>(digitValue(digits[i]) * 16 + digitValue(digits[i + 1]));
  }
  return bytes;
}

}  // namespace host
