// The older names of the shared test support (support/child_process.h,
// support/temp_folder.h, support/files.h) and of installedPrefix() (installed_host.h),
// kept while the last callers move.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "installed_host.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul::testing {

inline RunResult runProgram(const std::vector<std::string>& argv, const std::string& input = "",
                            const EnvironmentChanges& changes = {},
                            std::chrono::milliseconds limit = std::chrono::seconds(30),
                            ProcessGroup group = ProcessGroup::shared) {
  return run(argv, input, changes, limit, group);
}
inline void writeBytes(const std::filesystem::path& path, std::string_view bytes) { writeFile(path, bytes); }
inline std::string readBytes(const std::filesystem::path& path) { return readFile(path); }

}  // namespace tul::testing
