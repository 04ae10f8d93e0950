// JSONTextWriter: writes one JSON text value by value, straight into a growing buffer,
// without building a document first.
//
// The extension's answers are written this way. Building a document of values and then
// dumping it took more than half of a request's time; a general writer still escaped
// every member name byte by byte. Here member names are checked when the program is
// compiled (`Name`), and strings are scanned once, copied in runs between the bytes
// that need escaping.
//
// Calls must nest as JSON does: a key before each member's value, ends matching
// begins; the text is complete when the outermost value ends. What the text promises:
// - Strings are UTF-8 with only '"', '\\' and control characters escaped (as \n, \t,
//   ... or \u00XX); bytes that are not well-formed UTF-8 become U+FFFD, so the text is
//   always valid JSON.
// - Integers as written; finite doubles in the shortest form that reads back to the
//   same double, whole values with ".0" (1.0, 0.6, 1e+300); infinite and NaN doubles,
//   which JSON cannot hold, as null.
// `clear()` starts a new text and keeps the buffer; `release()` also frees it.
// Not thread-safe: one writer per thread.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace foundation {

class JSONTextWriter {
 public:
  // A member name known when the program is compiled, made only of characters that
  // JSON writes as they are; any other name does not compile.
  class Name {
   public:
    template <std::size_t N>
    consteval Name(const char (&text)[N]) : text_(text, N - 1) {  // NOLINT: implicit by design
      for (const char c : text_) {
        if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x80) {
          throw "a member name must be printable ASCII without quotes or backslashes";
        }
      }
    }
    constexpr std::string_view text() const { return text_; }

   private:
    std::string_view text_;
  };

  void beginObject() { open('{'); }
  void endObject() { close('}'); }
  void beginArray() { open('['); }
  void endArray() { close(']'); }

  // Inlined at every call, where the name's length is a constant, so that copying it
  // is a few moves instead of a call: an answer has about a hundred member names.
  [[gnu::always_inline]] void key(Name name) {
    const std::string_view text = name.text();
    char* at = room(text.size() + 4);
    if (!first_) *at++ = ',';
    *at++ = '"';
    std::memcpy(at, text.data(), text.size());
    at += text.size();
    *at++ = '"';
    *at++ = ':';
    size_ = static_cast<std::size_t>(at - buffer_.data());
    first_ = true;  // the member's value follows without a comma
  }

  void string(std::string_view text);
  void integer(std::int64_t value);
  void unsignedInteger(std::uint64_t value);
  void number(double value);
  void boolean(bool value) { scalar(value ? "true" : "false"); }
  void null() { scalar("null"); }
  // A value that is already JSON text (written by another writer); taken as it is.
  void raw(std::string_view json) { scalar(json); }

  // One member whose value is a string.
  [[gnu::always_inline]] void member(Name name, std::string_view text) {
    key(name);
    string(text);
  }

  // A string the caller knows JSON takes as it is: printable ASCII without quotes or
  // backslashes, such as the view layer's names of alignments, fonts and node kinds.
  // Copied without being looked at; debug builds check it. Text from anywhere else
  // goes to string().
  void plainString(std::string_view text) {
    assert(isPlainText(text) && "plainString() is for printable ASCII without quotes or backslashes");
    char* at = room(text.size() + 3);
    if (!first_) *at++ = ',';
    first_ = false;
    *at++ = '"';
    std::memcpy(at, text.data(), text.size());
    at += text.size();
    *at++ = '"';
    size_ = static_cast<std::size_t>(at - buffer_.data());
  }
  [[gnu::always_inline]] void plainMember(Name name, std::string_view text) {
    key(name);
    plainString(text);
  }
  static bool isPlainText(std::string_view text);

  // Ends the text with a line break, for protocols of one JSON text a line.
  void newline() { append("\n"); }

  std::string_view text() const { return {buffer_.data(), size_}; }
  void clear() {
    size_ = 0;
    first_ = true;
  }
  void release() {
    clear();
    buffer_ = std::string();
  }

 private:
  // Room for `bytes` more bytes at the end of the text; the caller writes them and
  // sets size_. The buffer grows by doubling and never shrinks until release().
  char* room(std::size_t bytes) {
    if (buffer_.size() - size_ < bytes) grow(bytes);
    return buffer_.data() + size_;
  }
  void grow(std::size_t bytes);
  void escapedRest(std::string_view text);
  void append(std::string_view bytes) {
    std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
    size_ += bytes.size();
  }
  void separate() {
    if (!first_) append(",");
    first_ = false;
  }
  void open(char bracket) {
    char* at = room(2);
    if (!first_) *at++ = ',';
    *at++ = bracket;
    size_ = static_cast<std::size_t>(at - buffer_.data());
    first_ = true;
  }
  void close(char bracket) {
    *room(1) = bracket;
    ++size_;
    first_ = false;
  }
  void scalar(std::string_view json) {
    separate();
    append(json);
  }

  std::string buffer_;  // the text is its first size_ bytes
  std::size_t size_ = 0;
  bool first_ = true;  // no comma before the next value: first in its container, or a member's value
};

}  // namespace foundation
