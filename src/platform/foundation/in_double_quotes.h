// inDoubleQuotes: text between double quotes, exactly as it is (nothing inside is escaped),
// for messages that name a key, a suite or a member: `"tempo"`.
#pragma once

#include <string>
#include <string_view>

namespace foundation {

inline std::string inDoubleQuotes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out += text;
  out += '"';
  return out;
}

}  // namespace foundation
