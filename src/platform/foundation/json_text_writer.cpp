#include "platform/foundation/json_text_writer.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

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

// Whether none of the eight bytes at `bytes` needs more than copying: none is below
// 0x20, a quote, a backslash or at or above 0x80. Eight bytes are tested at once
// (a byte b is below n when (b - n) borrows into its top bit while b's top bit is clear);
// a borrow may flag a plain byte too, which only sends that word the slow way.
bool isPlainWord(const unsigned char* bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHighs = 0x8080808080808080;
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, sizeof word);
  const auto below = [](std::uint64_t value, std::uint64_t n) { return (value - kOnes * n) & ~value & kHighs; };
  const std::uint64_t flagged =
      below(word, 0x20) | below(word ^ (kOnes * '"'), 1) | below(word ^ (kOnes * '\\'), 1) | (word & kHighs);
  return flagged == 0;
}

// The escape for a byte that JSON does not allow as it is in a string.
std::string_view escape(unsigned char byte) {
  switch (byte) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: break;
  }
  // \u00XX for the other control characters, all below 0x20.
  static constexpr std::array<std::array<char, 6>, 0x20> kControls = [] {
    std::array<std::array<char, 6>, 0x20> table{};
    constexpr std::string_view kHex = "0123456789abcdef";
    for (std::size_t c = 0; c < table.size(); ++c) table[c] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
    return table;
  }();
  return {kControls[byte].data(), kControls[byte].size()};
}

// Copies plain bytes one at a time up to the first that is not; says how many.
std::size_t copyPlainBytes(const unsigned char* bytes, std::size_t size, char* to) {
  std::size_t at = 0;
  for (; at < size && kByteClasses[bytes[at]] == ByteClass::plain; ++at) to[at] = static_cast<char>(bytes[at]);
  return at;
}

// Copies the bytes at the start of `text` that JSON takes as they are to `to`, and
// says how many: eight at a time, the last whole word overlapping the one before, and
// byte by byte only in strings shorter than a word.
std::size_t copyPlainPrefix(std::string_view text, char* to) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t at = 0;
  if (size >= 8) {
    for (; at + 8 <= size; at += 8) {
      if (!isPlainWord(bytes + at)) return at + copyPlainBytes(bytes + at, size - at, to + at);
      std::memcpy(to + at, bytes + at, 8);
    }
    if (at == size) return size;
    if (isPlainWord(bytes + size - 8)) {
      std::memcpy(to + size - 8, bytes + size - 8, 8);
      return size;
    }
  }
  return at + copyPlainBytes(bytes + at, size - at, to + at);
}

}  // namespace

bool JSONTextWriter::isPlainText(std::string_view text) {
  return std::ranges::all_of(text, [](char c) { return kByteClasses[static_cast<unsigned char>(c)] == ByteClass::plain; });
}

void JSONTextWriter::grow(std::size_t bytes) {
  buffer_.resize(std::max({buffer_.size() * 2, size_ + bytes, std::size_t{256}}));
}

void JSONTextWriter::string(std::string_view text) {
  // The common string has nothing to escape: a comma, the quotes and the bytes copied
  // as they are checked.
  char* at = room(text.size() + 3);
  if (!first_) *at++ = ',';
  first_ = false;
  *at++ = '"';
  const std::size_t plain = copyPlainPrefix(text, at);
  at += plain;
  if (plain == text.size()) {
    *at++ = '"';
    size_ = static_cast<std::size_t>(at - buffer_.data());
    return;
  }
  size_ = static_cast<std::size_t>(at - buffer_.data());
  escapedRest(text.substr(plain));
}

// The rest of a string from its first byte that is not plain ASCII: runs of bytes that
// need nothing are copied whole, the others escaped or checked as UTF-8.
void JSONTextWriter::escapedRest(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t run = 0;  // start of the bytes not yet copied
  std::size_t at = 0;
  while (at < text.size()) {
    if (at + 8 <= text.size() && isPlainWord(bytes + at)) {
      at += 8;
      continue;
    }
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
    append(text.substr(run, at - run));
    if (kind == ByteClass::escape) {
      append(escape(bytes[at]));
    } else {
      append("\xEF\xBF\xBD");  // U+FFFD REPLACEMENT CHARACTER for a byte that is not UTF-8
    }
    run = ++at;
  }
  append(text.substr(run));
  append("\"");
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
  // Small whole values, the common ones, skip the search for the shortest form: below
  // 100000 their digits are never longer than the exponent form, so the text is the same.
  if (std::abs(value) < 100000.0 && !(value == 0.0 && std::signbit(value))) {
    const auto whole = static_cast<std::int32_t>(value);
    if (static_cast<double>(whole) == value) {
      integer(whole);
      append(".0");
      return;
    }
  }
  std::array<char, 32> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  const std::string_view shortest(digits.data(), static_cast<std::size_t>(end - digits.data()));
  scalar(shortest);
  // A whole value keeps a fraction, so that it reads back as a floating-point number.
  if (shortest.find_first_of(".e") == std::string_view::npos) append(".0");
}

}  // namespace foundation
