// StringsTable: one string table of a bundle, read from the platform's text
// ".strings" format: a list of `"key" = "value";` entries.
//
// The reader is strict. It takes UTF-8 text (an optional byte-order mark is skipped);
// between entries it allows white space, /* block */ and // line comments. Keys and
// values are double-quoted and may span lines; inside them the escapes \" \\ \n \t
// \r and \uXXXX (a UTF-16 unit; a surrogate pair makes one character) are understood.
// Anything else is an error that names the line and column (counted in characters,
// from 1) where the problem is: an unknown escape, an unterminated string or comment,
// a missing '=' or ';', text that is not a quoted string, invalid UTF-8, a lone
// surrogate, and a key given twice (the table refuses to pick one of them).
//
// A table is an immutable value; lookups are safe from any thread.
#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ui {

struct StringsError {
  std::string message;   // "<source>:<line>:<column>: <what is wrong>", or what failed for a file
  std::size_t line = 0;  // 0 when the error concerns no line (the file cannot be read)
  std::size_t column = 0;
};

class StringsTable {
 public:
  using Entries = std::map<std::string, std::string, std::less<>>;

  StringsTable() = default;

  // Reads `text`; `sourceName` (a file name) starts every error message.
  static std::expected<StringsTable, StringsError> parse(std::string_view text,
                                                         std::string_view sourceName = "<strings>");

  // The value stored under `key`, compared byte for byte; none when there is none.
  std::optional<std::string_view> find(std::string_view key) const;

  std::size_t size() const { return entries_.size(); }
  const Entries& entries() const { return entries_; }

  friend bool operator==(const StringsTable&, const StringsTable&) = default;

 private:
  explicit StringsTable(Entries entries) : entries_(std::move(entries)) {}

  Entries entries_;
};

}  // namespace ui
