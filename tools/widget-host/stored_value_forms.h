// Stored value forms: how `widget-host defaults` shows a value of a preferences suite,
// keeping its kind visible.
//
// JSON: {"type": KIND, "value": V}, KIND being the kind's name ("data", "string",
// "integer", "real", "boolean", "date", "array", "dictionary"). Data is lower-case hex
// digits; a string as it is (bytes that are not UTF-8 replaced by U+FFFD); integers and
// booleans as JSON's; a real as a number, or "nan", "infinity", "-infinity"; a date in
// ISO-8601 UTC; an array as a list and a dictionary as an object of such {"type",
// "value"} objects.
//
// Text: a first line with the kind and the value or its size ("integer 42",
// "data, 263 bytes"), then what a data, array or dictionary holds, indented: data that
// is UTF-8 JSON also as its text, and every data value as hex, 32 bytes a line.
#pragma once

#include <cstddef>
#include <string>

#include "json_rpc.h"
#include "platform/foundation/property_value.h"

namespace host {

Json valueJSON(const foundation::PropertyValue& value);

// The text form; lines after the first are indented by `indent` + 2 spaces. Ends with '\n'.
std::string valueText(const foundation::PropertyValue& value, std::size_t indent = 0);

// A key as shown at the head of a line: as it is, or quoted when it holds control
// characters, quotes or ':' or is empty.
std::string keyText(const std::string& key);

}  // namespace host
