#include "platform/foundation/canonical_text.h"

#include <utf8proc.h>

#include <cstdlib>
#include <optional>

namespace foundation {
namespace {

bool isASCII(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The NFC form, or none when `utf8` is not valid UTF-8. ASCII is its own NFC form.
std::optional<std::string> normalized(std::string_view utf8) {
  if (isASCII(utf8)) return std::string(utf8);
  utf8proc_uint8_t* out = nullptr;
  // Given a length, utf8proc reads embedded NULs as characters instead of stopping.
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(utf8.data()), static_cast<utf8proc_ssize_t>(utf8.size()),
                   &out, static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (length < 0) return std::nullopt;  // `out` is left unset on failure
  std::string result(reinterpret_cast<const char*>(out), static_cast<std::size_t>(length));
  std::free(out);
  return result;
}

}  // namespace

bool isValidUTF8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  auto remaining = static_cast<utf8proc_ssize_t>(text.size());
  while (remaining > 0) {
    utf8proc_int32_t codePoint = 0;
    const utf8proc_ssize_t length = utf8proc_iterate(bytes, remaining, &codePoint);
    if (length <= 0) return false;
    bytes += length;
    remaining -= length;
  }
  return true;
}

std::string nfc(std::string_view utf8) {
  auto result = normalized(utf8);
  return result ? std::move(*result) : std::string(utf8);
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  // Two different ASCII texts stay different; but one non-ASCII text may still equal an
  // ASCII one (U+212A KELVIN SIGN is canonically "K"), so only both-ASCII is decided here.
  if (isASCII(a) && isASCII(b)) return false;
  const auto normalA = normalized(a);
  if (!normalA) return false;  // compared by bytes, and the bytes differ
  const auto normalB = normalized(b);
  if (!normalB) return false;
  return *normalA == *normalB;
}

}  // namespace foundation
