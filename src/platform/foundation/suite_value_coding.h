// Suite value coding: a PropertyValue in the form a suite file stores it, and back.
//
// A suite file holds
//   CREATE TABLE entries (key TEXT PRIMARY KEY NOT NULL, kind TEXT NOT NULL, value BLOB)
// where `kind` is the kind's name ("data", "string", …). Scalars are stored in SQLite's
// own types so that the file reads plainly with any SQLite tool: data as a BLOB, a
// string as TEXT, an integer or a boolean (0 or 1) as INTEGER, a real as REAL (SQLite
// keeps NaN as NULL), a date as INTEGER microseconds since 1970. Arrays and
// dictionaries are TEXT holding JSON in which every value is an object with one member
// named after its kind:
//   {"array":[{"string":"a"},{"integer":2},{"data":"AAE="},{"real":"nan"}]}
// Data inside JSON is base64; a real that JSON cannot write is "nan", "inf" or "-inf".
//
// Promises: encode() refuses a value it cannot store whole (text that is not UTF-8,
// nesting deeper than 256 levels), saying what and where; decodeRow() gives back the
// value that was encoded, with its kind, and none for a row that does not hold a value
// of its kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/property_value.h"

struct sqlite3_stmt;

namespace foundation::suite {

// A value in the form it is bound to the `value` column. `bytes` points into the value
// being written or into `json`, so an Encoded lives no longer than both.
struct Encoded {
  enum class Column { integer, real, text, blob };
  Column column = Column::integer;
  std::int64_t integer = 0;
  double real = 0;
  std::string json;
  std::string_view bytes;

  std::size_t storedBytes() const {
    return column == Column::text || column == Column::blob ? bytes.size() : sizeof(std::int64_t);
  }
};

// The stored form of `value`, or a description of why it cannot be stored.
std::expected<Encoded, std::string> encode(const PropertyValue& value);

// Binds an encoded value (without copying its bytes) as parameter `index`.
int bindEncoded(sqlite3_stmt* statement, int index, const Encoded& value);

// Whether `a` and `b` are stored alike: the same kind and the same stored form. Unlike
// ==, a NaN is the same as a NaN, so a value read back is the same as what was stored.
bool sameStoredForm(const PropertyValue& a, const PropertyValue& b);

// The value a row holds, or none when the row does not hold a value of its kind.
std::optional<PropertyValue> decodeRow(sqlite3_stmt* statement, int kindColumn, int valueColumn);

}  // namespace foundation::suite
