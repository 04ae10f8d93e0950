#include "support/temp_folder.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "platform/foundation/preferences_location.h"

namespace tul::testing {

namespace fs = std::filesystem;

namespace {

// Removes `path` and what it holds, making each folder writable and readable first.
void removeTree(const fs::path& path) {
  std::error_code ignored;
  if (fs::is_directory(fs::symlink_status(path, ignored))) {
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (fs::directory_iterator it(path, ignored), end; it != end; it.increment(ignored)) removeTree(it->path());
  }
  fs::remove(path, ignored);
}

}  // namespace

TempFolder::TempFolder(std::string_view prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = pattern;
}

TempFolder::~TempFolder() {
  if (!path_.empty()) removeTree(path_);
}

TempPreferences::TempPreferences() : TempFolder("tul-prefs") {
  if (const char* value = std::getenv(foundation::kPreferencesVariable)) previous_ = value;
  ::setenv(foundation::kPreferencesVariable, folder().c_str(), 1);
}

TempPreferences::~TempPreferences() {
  if (previous_) {
    ::setenv(foundation::kPreferencesVariable, previous_->c_str(), 1);
  } else {
    ::unsetenv(foundation::kPreferencesVariable);
  }
}

}  // namespace tul::testing
