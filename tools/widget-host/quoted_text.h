// Quoted text: a string in double quotes with '"', '\\' and control characters
// escaped (\n \t \r, others as \u{XX}), so that whatever it holds stays on one line.
// The same form the view layer's outline gives a Text.
#pragma once

#include <string>
#include <string_view>

namespace host {

inline std::string inQuotes(std::string_view raw) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out = "\"";
  for (const char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += "\\u{";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xF];
          out += '}';
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace host
