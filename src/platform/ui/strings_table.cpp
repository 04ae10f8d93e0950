#include "platform/ui/strings_table.h"

#include <cstdint>
#include <utility>

#include "platform/ui/backslash_escape.h"
#include "platform/ui/string_format.h"

namespace ui {
namespace {

constexpr std::size_t kValid = std::string_view::npos;

// The offset of the first byte that does not belong to well-formed UTF-8 (no overlong
// forms, no surrogates, nothing above U+10FFFF), or kValid.
std::size_t firstInvalidUtf8(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return i;
    }
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= text.size()) return i;
      const unsigned char next = byte(i + k);
      const unsigned char min = k == 1 ? low : 0x80;
      const unsigned char max = k == 1 ? high : 0xBF;
      if (next < min || next > max) return i;
    }
    i += length;
  }
  return kValid;
}

void appendUtf8(std::string& out, std::uint32_t codePoint) {
  auto put = [&](std::uint32_t bits) { out += static_cast<char>(static_cast<unsigned char>(bits)); };
  if (codePoint < 0x80) {
    put(codePoint);
  } else if (codePoint < 0x800) {
    put(0xC0 | (codePoint >> 6));
    put(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    put(0xE0 | (codePoint >> 12));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  } else {
    put(0xF0 | (codePoint >> 18));
    put(0x80 | ((codePoint >> 12) & 0x3F));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  }
}

class Parser {
 public:
  Parser(std::string_view text, std::string_view sourceName) : text_(text), source_(sourceName) {}

  std::expected<StringsTable::Entries, StringsError> run() {
    if (text_.starts_with("\xFF\xFE") || text_.starts_with("\xFE\xFF")) {
      return fail("the file is UTF-16; only UTF-8 is read");
    }
    if (const std::size_t bad = firstInvalidUtf8(text_); bad != kValid) {
      while (pos_ < bad) advance();
      return fail("invalid UTF-8 (byte " + hexByte(text_[bad]) + ")");
    }
    if (text_.starts_with("\xEF\xBB\xBF")) pos_ = 3;  // the byte-order mark is no character

    StringsTable::Entries entries;
    std::map<std::string, std::size_t, std::less<>> keyLines;
    while (true) {
      if (auto skipped = skipTrivia(); !skipped) return std::unexpected(skipped.error());
      if (atEnd()) break;
      if (peek() != '"') return fail("expected a quoted key, found " + describeNext());
      const std::size_t keyLine = line_;
      const std::size_t keyColumn = column_;
      auto key = readString();
      if (!key) return std::unexpected(key.error());
      if (auto ok = expect('=', "after the key"); !ok) return std::unexpected(ok.error());
      if (auto skipped = skipTrivia(); !skipped) return std::unexpected(skipped.error());
      if (atEnd() || peek() != '"') return fail("expected a quoted value, found " + describeNext());
      auto value = readString();
      if (!value) return std::unexpected(value.error());
      if (auto ok = expect(';', "after the value"); !ok) return std::unexpected(ok.error());

      if (auto first = keyLines.find(*key); first != keyLines.end()) {
        return failAt(keyLine, keyColumn,
                      "duplicate key \"" + *key + "\" (first given on line " + std::to_string(first->second) + ")");
      }
      keyLines.emplace(*key, keyLine);
      entries.emplace(std::move(*key), std::move(*value));
    }
    return entries;
  }

 private:
  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return text_[pos_]; }

  // Moves past one byte, keeping line and column (in characters) of the next one.
  void advance() {
    const char c = text_[pos_++];
    if (c == '\n') {
      ++line_;
      column_ = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++column_;
    }
  }

  std::unexpected<StringsError> failAt(std::size_t line, std::size_t column, const std::string& what) const {
    return std::unexpected(StringsError{
        std::string(source_) + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + what, line, column});
  }
  std::unexpected<StringsError> fail(const std::string& what) const { return failAt(line_, column_, what); }

  static std::string hexByte(char c) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    const auto b = static_cast<unsigned char>(c);
    return std::string("0x") + kDigits[b >> 4] + kDigits[b & 0xF];
  }

  std::string describeNext() const {
    if (atEnd()) return "end of file";
    const char c = peek();
    if (c == '\n' || c == '\r') return "end of line";
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return concatenated({"control character ", hexByte(c)});
    return concatenated({"'", nextCharacter(), "'"});
  }

  // The bytes of the character at the cursor.
  std::string_view nextCharacter() const {
    std::size_t end = pos_ + 1;
    while (end < text_.size() && (static_cast<unsigned char>(text_[end]) & 0xC0) == 0x80) ++end;
    return text_.substr(pos_, end - pos_);
  }

  // White space and comments.
  std::expected<void, StringsError> skipTrivia() {
    while (!atEnd()) {
      const char c = peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        advance();
      } else if (text_.substr(pos_).starts_with("//")) {
        while (!atEnd() && peek() != '\n') advance();
      } else if (text_.substr(pos_).starts_with("/*")) {
        const std::size_t line = line_;
        const std::size_t column = column_;
        const std::size_t close = text_.find("*/", pos_ + 2);
        if (close == std::string_view::npos) return failAt(line, column, "unterminated comment");
        while (pos_ < close + 2) advance();
      } else {
        break;
      }
    }
    return {};
  }

  std::expected<void, StringsError> expect(char wanted, const char* where) {
    if (auto skipped = skipTrivia(); !skipped) return skipped;
    if (atEnd() || peek() != wanted) {
      return fail(std::string("expected '") + wanted + "' " + where + ", found " + describeNext());
    }
    advance();
    return {};
  }

  // Four hex digits after "\u"; the cursor is on the first of them.
  std::expected<std::uint32_t, StringsError> readHex4(std::size_t line, std::size_t column) {
    std::uint32_t unit = 0;
    for (int k = 0; k < 4; ++k) {
      if (atEnd()) return failAt(line, column, "\\u needs four hex digits");
      const char c = peek();
      std::uint32_t digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return failAt(line, column, "\\u needs four hex digits");
      }
      unit = unit * 16 + digit;
      advance();
    }
    return unit;
  }

  // A quoted string; the cursor is on the opening quote.
  std::expected<std::string, StringsError> readString() {
    const std::size_t openLine = line_;
    const std::size_t openColumn = column_;
    advance();
    std::string out;
    while (true) {
      if (atEnd()) return failAt(openLine, openColumn, "unterminated string");
      const char c = peek();
      if (c == '"') {
        advance();
        return out;
      }
      if (c != '\\') {
        out += c;
        advance();
        continue;
      }
      const std::size_t escLine = line_;
      const std::size_t escColumn = column_;
      advance();
      if (atEnd()) return failAt(openLine, openColumn, "unterminated string");
      const char e = peek();
      if (const std::optional<char> character = unescaped(e)) {
        out += *character;
        advance();
        continue;
      }
      if (e != 'u') return failAt(escLine, escColumn, concatenated({"unknown escape '\\", nextCharacter(), "'"}));
      advance();
      auto unit = readHex4(escLine, escColumn);
      if (!unit) return std::unexpected(unit.error());
      std::uint32_t codePoint = *unit;
      if (codePoint >= 0xDC00 && codePoint <= 0xDFFF) {
        return failAt(escLine, escColumn, "unpaired low surrogate in \\u escape");
      }
      if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
        if (!text_.substr(pos_).starts_with("\\u")) {
          return failAt(escLine, escColumn, "unpaired high surrogate in \\u escape");
        }
        const std::size_t lowLine = line_;
        const std::size_t lowColumn = column_;
        advance();
        advance();
        auto low = readHex4(lowLine, lowColumn);
        if (!low) return std::unexpected(low.error());
        if (*low < 0xDC00 || *low > 0xDFFF) {
          return failAt(escLine, escColumn, "unpaired high surrogate in \\u escape");
        }
        codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (*low - 0xDC00);
      }
      appendUtf8(out, codePoint);
    }
  }

  std::string_view text_;
  std::string_view source_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
  std::size_t column_ = 1;
};

}  // namespace

std::expected<StringsTable, StringsError> StringsTable::parse(std::string_view text, std::string_view sourceName) {
  auto entries = Parser(text, sourceName).run();
  if (!entries) return std::unexpected(std::move(entries.error()));
  return StringsTable(std::move(*entries));
}

std::optional<std::string_view> StringsTable::find(std::string_view key) const {
  if (auto it = entries_.find(key); it != entries_.end()) return std::string_view(it->second);
  return std::nullopt;
}

}  // namespace ui
