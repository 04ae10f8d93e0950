#include "platform/foundation/preferences_location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace foundation {

std::string preferencesFolderText() {
  namespace fs = std::filesystem;
  if (const char* folder = std::getenv(kPreferencesVariable); folder && *folder) return folder;
  // The XDG rules say a relative XDG_DATA_HOME is to be ignored.
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
    return (fs::path(data) / "widget-platform" / "preferences").native();
  }
  fs::path home;
  if (const char* variable = std::getenv("HOME"); variable && *variable) {
    home = variable;
  } else if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
    home = entry->pw_dir;
  }
  return (home / ".local" / "share" / "widget-platform" / "preferences").native();
}

}  // namespace foundation
