#include "platform/foundation/uuid.h"

#include <uuid/uuid.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/foundation/hasher.h"

namespace foundation {
namespace {

constexpr std::size_t kTextLength = 36;

#if defined(__SSE2__)

// Decodes the 32 hexadecimal digits, the first sixteen in `first` and the rest in
// `second`, into 16 bytes; false when any is not a digit. Sixteen digits at a time, two
// compares per range for all of them, where a table lookup per digit was the largest
// cost of a preset's decode after the JSON parse and the member walk.
bool decodeDigits(__m128i first, __m128i second, std::uint8_t* bytes) {
  const auto values = [](__m128i c, int& valid) {
    const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));  // 'A'-'F' to 'a'-'f'
    // Signed compares: a byte of 0x80 or above is negative and in neither range.
    const __m128i isDigit = _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)),
                                          _mm_cmplt_epi8(c, _mm_set1_epi8('9' + 1)));
    const __m128i isLetter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                           _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    valid &= _mm_movemask_epi8(_mm_or_si128(isDigit, isLetter));
    const __m128i digit = _mm_and_si128(isDigit, _mm_sub_epi8(c, _mm_set1_epi8('0')));
    const __m128i letter = _mm_andnot_si128(isDigit, _mm_sub_epi8(lower, _mm_set1_epi8('a' - 10)));
    // Two digits to a byte: in each 16-bit lane the first digit is the low byte.
    const __m128i pair = _mm_or_si128(digit, letter);
    return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(pair, _mm_set1_epi16(0x00FF)), 4), _mm_srli_epi16(pair, 8));
  };
  int valid = 0xFFFF;
  const __m128i high = values(first, valid);
  const __m128i low = values(second, valid);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(high, low));
  return valid == 0xFFFF;
}

#else

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

// Decodes the 32 hexadecimal digits at `digits` into 16 bytes; false when any is not one.
bool decodeDigits(const char* digits, std::uint8_t* bytes) {
  int invalid = 0;  // negative once any digit was not hexadecimal
  for (std::size_t i = 0; i < 16; ++i) {
    const int high = hexValue(digits[2 * i]);
    const int low = hexValue(digits[2 * i + 1]);
    invalid |= high | low;
    bytes[i] = static_cast<std::uint8_t>((static_cast<unsigned>(high) << 4) | static_cast<unsigned>(low));
  }
  return invalid >= 0;
}

#endif

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
  const char* p = text.data();
  if (p[8] != '-' || p[13] != '-' || p[18] != '-' || p[23] != '-') return std::nullopt;
  Bytes bytes;
#if defined(__SSE2__)
  // The digits without the hyphens, gathered in four words in text order: 0-7, 9-12
  // and 14-17, 19-22 and 24-27, 28-35.
  const auto load64 = [](const char* at) {
    long long word;
    std::memcpy(&word, at, 8);
    return word;
  };
  const auto load32 = [](const char* at) {
    std::uint32_t word;
    std::memcpy(&word, at, 4);
    return static_cast<unsigned long long>(word);
  };
  const auto joined = [&](const char* a, const char* b) { return static_cast<long long>(load32(a) | load32(b) << 32); };
  const bool valid = decodeDigits(_mm_set_epi64x(joined(p + 9, p + 14), load64(p)),
                                  _mm_set_epi64x(load64(p + 28), joined(p + 19, p + 24)), bytes.data());
#else
  char digits[32];
  std::memcpy(digits, p, 8);
  std::memcpy(digits + 8, p + 9, 4);
  std::memcpy(digits + 12, p + 14, 4);
  std::memcpy(digits + 16, p + 19, 4);
  std::memcpy(digits + 20, p + 24, 12);
  const bool valid = decodeDigits(digits, bytes.data());
#endif
  if (!valid) return std::nullopt;
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
