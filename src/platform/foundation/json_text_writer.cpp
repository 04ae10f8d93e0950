#include "platform/foundation/json_text_writer.h"

#include <utf8proc.h>

#include <array>
#include <charconv>
#include <cmath>

namespace foundation {

namespace {

// What a byte inside a string needs: nothing, an escape, or a check that it begins a
// well-formed UTF-8 sequence.
enum class ByteClass : std::uint8_t { plain, escape, multibyte };

constexpr std::array<ByteClass, 256> kByteClasses = [] {
  std::array<ByteClass, 256> classes{};
  for (std::size_t byte = 0; byte < 256; ++byte) {
    if (byte < 0x20 || byte == '"' || byte == '\\') {
      classes[byte] = ByteClass::escape;
    } else if (byte >= 0x80) {
      classes[byte] = ByteClass::multibyte;
    }
  }
  return classes;
}();

void appendEscape(std::string& out, unsigned char byte) {
  switch (byte) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: {
      constexpr std::string_view kHex = "0123456789abcdef";
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
}

}  // namespace

void JSONTextWriter::string(std::string_view text) {
  separate();
  text_.reserve(text_.size() + text.size() + 2);
  text_ += '"';
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t run = 0;  // start of the bytes not yet copied
  std::size_t at = 0;
  while (at < text.size()) {
    const ByteClass kind = kByteClasses[bytes[at]];
    if (kind == ByteClass::plain) {
      ++at;
      continue;
    }
    if (kind == ByteClass::multibyte) {
      utf8proc_int32_t codePoint = 0;
      const utf8proc_ssize_t length =
          utf8proc_iterate(bytes + at, static_cast<utf8proc_ssize_t>(text.size() - at), &codePoint);
      if (length > 0) {
        at += static_cast<std::size_t>(length);
        continue;
      }
    }
    text_.append(text.data() + run, at - run);
    if (kind == ByteClass::escape) {
      appendEscape(text_, bytes[at]);
    } else {
      text_ += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER for a byte that is not UTF-8
    }
    run = ++at;
  }
  text_.append(text.data() + run, text.size() - run);
  text_ += '"';
}

void JSONTextWriter::integer(std::int64_t value) {
  std::array<char, 24> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  scalar(std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
}

void JSONTextWriter::unsignedInteger(std::uint64_t value) {
  std::array<char, 24> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  scalar(std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
}

void JSONTextWriter::number(double value) {
  if (!std::isfinite(value)) {
    null();
    return;
  }
  std::array<char, 32> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  std::string_view shortest(digits.data(), static_cast<std::size_t>(end - digits.data()));
  separate();
  text_ += shortest;
  // A whole value keeps a fraction, so that it reads back as a floating-point number.
  if (shortest.find_first_of(".e") == std::string_view::npos) text_ += ".0";
}

}  // namespace foundation
