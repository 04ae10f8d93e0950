#include "extension_locator.h"

#include <string>
#include <system_error>
#include <vector>

namespace host {

namespace fs = std::filesystem;

namespace {

bool isFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// "a/B.appex/" → "a/B.appex/B"; a path that is not a folder stays as it is.
fs::path executableIn(const fs::path& path) {
  std::error_code error;
  if (!fs::is_directory(path, error)) return path;
  std::string folder = path.string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const fs::path trimmed(folder);
  return trimmed / trimmed.filename().stem();
}

fs::path absolutePath(const fs::path& path) {
  std::error_code error;
  fs::path result = fs::absolute(path, error);
  return error ? path : result.lexically_normal();
}

}  // namespace

std::expected<fs::path, HostError> locateExtension(const std::optional<fs::path>& requested,
                                                   const ShippedFileSearch& search) {
  if (requested) {
    const fs::path candidate = absolutePath(executableIn(*requested));
    if (isFile(candidate)) return candidate;
    return std::unexpected(HostError{ExitCode::unavailable, "no extension executable at " + candidate.string() +
                                                                " (from --extension " + requested->string() + ")"});
  }
  std::vector<fs::path> tried;
  if (!search.hostFolder.empty()) {
    tried.push_back(absolutePath(search.hostFolder / search.installedRelative));
    if (search.runsFromBuildTree()) tried.push_back(absolutePath(search.buildFile));
  }
  for (const fs::path& candidate : tried) {
    if (isFile(candidate)) return candidate;
  }
  std::string places;
  for (const fs::path& candidate : tried) places += (places.empty() ? "" : ", ") + candidate.string();
  if (places.empty()) places = "nowhere: the host's own folder is unknown";
  return std::unexpected(
      HostError{ExitCode::unavailable, "no extension found (looked at " + places + "); give one with --extension"});
}

}  // namespace host
