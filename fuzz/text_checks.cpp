// Checks for the view layer's text readers: string tables and the formatter.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "input_checks.h"
#include "platform/ui/string_format.h"
#include "platform/ui/strings_table.h"

namespace tul::fuzzing {
namespace {

constexpr std::string_view kSourceName = "Fuzz.strings";

// A table's text form: one `"key" = "value";` line per entry, escaping only what
// must be escaped, so that the reader meets every other character raw.
std::string writeTable(const ui::StringsTable& table) {
  const auto quoted = [](std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    return out + "\"";
  };
  std::string out;
  for (const auto& [key, value] : table.entries()) out += quoted(key) + " = " + quoted(value) + ";\n";
  return out;
}

// The number of characters (bytes that do not continue a UTF-8 sequence) on each
// line of `text`, from line 1.
std::vector<std::size_t> lineLengths(std::string_view text) {
  std::vector<std::size_t> lengths(1, 0);
  for (char c : text) {
    if (c == '\n') {
      lengths.push_back(0);
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++lengths.back();
    }
  }
  return lengths;
}

}  // namespace

CheckResult checkStringsTable(std::string_view input) {
  const auto table = ui::StringsTable::parse(input, kSourceName);
  if (!table) {
    const ui::StringsError& error = table.error();
    const auto lengths = lineLengths(input);
    if (error.line < 1 || error.line > lengths.size()) {
      return "error on line " + std::to_string(error.line) + " of a " + std::to_string(lengths.size()) + "-line text";
    }
    if (error.column < 1 || error.column > lengths[error.line - 1] + 1) {
      return "error at column " + std::to_string(error.column) + " of a line of " +
             std::to_string(lengths[error.line - 1]) + " characters";
    }
    const std::string prefix =
        std::string(kSourceName) + ":" + std::to_string(error.line) + ":" + std::to_string(error.column) + ": ";
    if (!error.message.starts_with(prefix) || error.message.size() == prefix.size()) {
      return "error message does not name the place and the fault: " + error.message;
    }
    return std::nullopt;
  }
  for (const auto& [key, value] : table->entries()) {
    if (table->find(key) != std::optional<std::string_view>(value)) return "an entry cannot be found by its key";
  }
  const std::string written = writeTable(*table);
  const auto reread = ui::StringsTable::parse(written, kSourceName);
  if (!reread) return "the table written back does not parse: " + reread.error().message;
  if (!(*reread == *table)) return "the table written back parses to another table";
  return std::nullopt;
}

namespace {

// The arguments chosen by the input's leading bytes: a count (0 to 7), then for each
// a tag byte (even: an integer from the next 8 bytes; odd: a string of the length in
// the next byte). What is left is the format.
std::vector<ui::FormatArgument> takeArguments(std::string_view& input) {
  const auto take = [&](std::size_t n) {
    const std::string_view taken = input.substr(0, n);
    input.remove_prefix(taken.size());
    return taken;
  };
  const auto byte = [&]() -> std::size_t { return input.empty() ? 0 : static_cast<unsigned char>(take(1)[0]); };
  std::vector<ui::FormatArgument> arguments;
  for (std::size_t count = byte() % 8; count > 0 && !input.empty(); --count) {
    if (byte() % 2 == 0) {
      const std::string_view bits = take(8);
      std::int64_t value = 0;
      std::memcpy(&value, bits.data(), bits.size());
      arguments.emplace_back(value);
    } else {
      arguments.emplace_back(std::string(take(byte())));
    }
  }
  return arguments;
}

}  // namespace

CheckResult checkStringFormat(std::string_view input) {
  const auto arguments = takeArguments(input);
  const std::string_view format = input;

  // Without arguments every placeholder shows as written and only "%%" changes.
  std::string expected;
  for (std::size_t i = 0; i < format.size(); ++i) {
    expected += format[i];
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') ++i;
  }
  if (ui::formatString(format, {}) != expected) return "a format without arguments does not show as written";

  const std::string out = ui::formatString(format, arguments);
  if (format.find('%') == std::string_view::npos && out != format) return "a format without '%' was changed";
  std::size_t longest = 0;
  for (const auto& argument : arguments) {
    longest = std::max(longest, std::holds_alternative<std::string>(argument) ? std::get<std::string>(argument).size()
                                                                              : std::size_t{20});
  }
  const auto percents = static_cast<std::size_t>(std::count(format.begin(), format.end(), '%'));
  if (out.size() > format.size() + percents * longest)
    return "the output is longer than its format and arguments allow";

  // A string value goes in as it is, however many '%' it holds.
  for (const auto& argument : arguments) {
    if (const auto* text = std::get_if<std::string>(&argument)) {
      const ui::FormatArgument one[] = {*text};
      if (ui::formatString("%@", one) != *text || ui::formatString("%1$@", one) != *text) {
        return "a string value was not put in unchanged";
      }
    }
  }
  return std::nullopt;
}

}  // namespace tul::fuzzing
