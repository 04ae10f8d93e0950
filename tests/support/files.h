// Whole files as bytes: readFile gives a file's bytes (empty when it cannot be read),
// writeFile replaces a file's bytes, making the folders it needs first.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tul::testing {

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tul::testing
