// OutputFormat: how a command shows its result. Each format has one name on the
// command line; a new format is a new enumerator and a new row in kOutputFormatNames,
// and every command that cannot produce it says so.
#pragma once

#include <array>
#include <string_view>
#include <utility>

namespace host {

enum class OutputFormat {
  text,  // a readable outline for a terminal
  json,  // the result as pretty-printed JSON
};

inline constexpr std::array<std::pair<std::string_view, OutputFormat>, 2> kOutputFormatNames = {{
    {"text", OutputFormat::text},
    {"json", OutputFormat::json},
}};

}  // namespace host
