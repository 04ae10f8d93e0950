// Shipped files: where widget-host finds a file it ships with (the extension, the
// drawing module), and the places it may look.
//
// The installed file lies at a fixed place relative to the host's own folder (fixed
// when the project is configured); the host that runs from the build tree also has the
// build tree's file. Nothing else is searched: no PATH, no LD_LIBRARY_PATH, no working
// folder.
#pragma once

#include <filesystem>

namespace host {

struct ShippedFileSearch {
  std::filesystem::path hostFolder;         // the folder of the running host executable
  std::filesystem::path installedRelative;  // from the host's folder to the installed file
  std::filesystem::path buildFolder;        // where the build tree's host lives
  std::filesystem::path buildFile;          // the build tree's file

  // Whether the running host is the build tree's (false when either folder is unknown).
  bool runsFromBuildTree() const;
};

// The folder of the running executable, or empty when the system does not say.
std::filesystem::path runningExecutableFolder();

}  // namespace host
