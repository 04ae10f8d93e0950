#include "shipped_file.h"

#include <system_error>

namespace host {

namespace fs = std::filesystem;

bool ShippedFileSearch::runsFromBuildTree() const {
  if (hostFolder.empty() || buildFolder.empty()) return false;
  std::error_code error;
  return fs::equivalent(hostFolder, buildFolder, error);
}

fs::path runningExecutableFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

}  // namespace host
