// readFilePrefix: the first bytes of a file, read with the system's own calls, going on
// after short reads and interrupted calls.
//
// Gives at most `most` bytes, fewer when the file is shorter; fails with the system's
// reason when the file cannot be opened or read. Room for `most` bytes is made before
// the first read: `most` is a size the caller has bounded (a header, a file's size
// checked against a limit). No stream library: a program that
// reads a file or two this way does not set up, and keep resident, the streams' and
// locales' machinery. Thread-safe.
#pragma once

#include <cstddef>
#include <expected>
#include <filesystem>
#include <string>
#include <system_error>

namespace foundation {

std::expected<std::string, std::error_code> readFilePrefix(const std::filesystem::path& file, std::size_t most);

}  // namespace foundation
