#include "platform/ui/string_format.h"

#include <charconv>
#include <cstddef>
#include <optional>

namespace ui {
namespace {

enum class Kind { integer, string };

struct Placeholder {
  std::optional<std::size_t> position;  // 1-based, when written as %N$...
  Kind kind;
  std::size_t length;  // bytes from the '%' through the conversion
};

// Reads the placeholder that starts with the '%' at format[0]; none when the text
// there is no placeholder this formatter knows.
std::optional<Placeholder> readPlaceholder(std::string_view format) {
  std::size_t i = 1;
  std::optional<std::size_t> position;
  if (i < format.size() && format[i] >= '1' && format[i] <= '9') {
    std::size_t digitsEnd = i;
    while (digitsEnd < format.size() && format[digitsEnd] >= '0' && format[digitsEnd] <= '9') {
      ++digitsEnd;
    }
    if (digitsEnd >= format.size() || format[digitsEnd] != '$') return std::nullopt;
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(format.data() + i, format.data() + digitsEnd, value);
    if (error != std::errc() || end != format.data() + digitsEnd) return std::nullopt;  // too large
    position = value;
    i = digitsEnd + 1;
  }
  const std::string_view rest = format.substr(i);
  if (rest.starts_with("lld")) return Placeholder{position, Kind::integer, i + 3};
  if (rest.starts_with("@")) return Placeholder{position, Kind::string, i + 1};
  return std::nullopt;
}

void appendInteger(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, end);
}

}  // namespace

std::string formatString(std::string_view format, std::span<const FormatArgument> arguments) {
  std::string out;
  out.reserve(format.size());
  std::size_t nextSequential = 0;
  std::size_t i = 0;
  while (i < format.size()) {
    const std::size_t percent = format.find('%', i);
    if (percent == std::string_view::npos) {
      out.append(format.substr(i));
      break;
    }
    out.append(format.substr(i, percent - i));
    const std::string_view rest = format.substr(percent);
    if (rest.starts_with("%%")) {
      out += '%';
      i = percent + 2;
      continue;
    }
    const std::optional<Placeholder> placeholder = readPlaceholder(rest);
    if (!placeholder) {
      // Not a placeholder: the '%' stands for itself, and what follows is plain text.
      out += '%';
      i = percent + 1;
      continue;
    }
    const std::size_t index = placeholder->position ? *placeholder->position - 1 : nextSequential++;
    const FormatArgument* argument = index < arguments.size() ? &arguments[index] : nullptr;
    if (const auto* integer = argument ? std::get_if<std::int64_t>(argument) : nullptr;
        integer && placeholder->kind == Kind::integer) {
      appendInteger(out, *integer);
    } else if (const auto* string = argument ? std::get_if<std::string>(argument) : nullptr;
               string && placeholder->kind == Kind::string) {
      out += *string;
    } else {
      out.append(rest.substr(0, placeholder->length));
    }
    i = percent + placeholder->length;
  }
  return out;
}

}  // namespace ui
