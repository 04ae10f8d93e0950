// String formatting for localized texts: fills the placeholders of a format with
// argument values. The format is data (it may come from a translator's table), so it
// is never handed to printf, and a value put into it is never read as a format.
//
// Placeholders understood:
//   %lld     the next signed 64-bit integer argument, in decimal, without grouping
//   %@       the next string argument, unchanged
//   %N$lld   the N-th argument (counting from 1) as an integer
//   %N$@     the N-th argument as a string
//   %%       one '%'
// "The next argument" counts only the placeholders without a position: the k-th of them
// takes argument k, whether or not an earlier one matched. A placeholder whose argument
// is missing or of the other kind, and any other '%' sequence, is shown as written.
// Arguments that no placeholder takes are not shown.
//
// concatenated(): pieces of text joined in one string, sized once (messages and
// outline parts are built with it rather than `"literal" + temporary`, which copies
// the rest again and which GCC 12 misreads as overlapping copies, -Wrestrict).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace ui {

using FormatArgument = std::variant<std::int64_t, std::string>;

std::string formatString(std::string_view format, std::span<const FormatArgument> arguments);

inline std::string concatenated(std::initializer_list<std::string_view> pieces) {
  std::size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  std::string out;
  out.reserve(size);
  for (std::string_view piece : pieces) out += piece;
  return out;
}

}  // namespace ui
