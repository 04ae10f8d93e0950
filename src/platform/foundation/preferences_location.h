// Where the preferences suites live: the environment variable that names their
// folder, the folder it selects, and the name of a suite's file in it.
//
// The folder is
//   $WIDGET_PLATFORM_PREFERENCES                    when set and not empty, else
//   $XDG_DATA_HOME/widget-platform/preferences      when XDG_DATA_HOME is absolute, else
//   $HOME/.local/share/widget-platform/preferences  (the password entry's home without HOME)
// and a suite's file is "<suite name>.sqlite" in it. The environment is read anew on
// every call.
#pragma once

#include <string>
#include <string_view>

namespace foundation {

// The variable that points the extension and the tools at another preferences folder.
inline constexpr char kPreferencesVariable[] = "WIDGET_PLATFORM_PREFERENCES";

// The ending of a suite's file name.
inline constexpr std::string_view kSuiteFileExtension = ".sqlite";

// The preferences folder the environment selects, as text. Kept as text because
// building a filesystem::path splits it into components, which cost more than the rest
// of the common case of UserDefaults::make().
std::string preferencesFolderText();

}  // namespace foundation
