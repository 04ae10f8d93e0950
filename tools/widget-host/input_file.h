// Input files: the bytes of a file named on the command line, "-" meaning standard
// input, read whole but never more than a stated limit, so that a huge or endless
// input (/dev/zero) is refused instead of filling memory.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "host_error.h"

namespace host {

// The bytes of `path` ("-": standard input). `what` names the file in messages
// ("state file"). Fails with `noInput` when the file cannot be opened or read, and with
// `dataError` when it holds more than `limit` bytes.
std::expected<std::string, HostError> readInputFile(const std::string& path, std::string_view what, std::size_t limit);

}  // namespace host
