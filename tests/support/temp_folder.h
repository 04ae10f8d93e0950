// TempFolder: a fresh folder under the system's temporary folder, removed with all it
// holds (read-only parts too) when its owner goes away.
// TempPreferences: a TempFolder whose "preferences" subfolder is the preferences folder
// of this process and of the children it starts (WIDGET_PLATFORM_PREFERENCES), until it
// goes away and the variable's earlier value comes back. One at a time per process.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tul::testing {

class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "tul-test");
  TempFolder(TempFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}
  // The folder this one held goes when `other` does.
  TempFolder& operator=(TempFolder&& other) noexcept {
    std::swap(path_, other.path_);
    return *this;
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

class TempPreferences : public TempFolder {
 public:
  TempPreferences();
  TempPreferences(const TempPreferences&) = delete;
  TempPreferences& operator=(const TempPreferences&) = delete;
  ~TempPreferences();

  // The older name of path(), kept while the last callers move.
  const std::filesystem::path& root() const { return path(); }
  std::filesystem::path folder() const { return path() / "preferences"; }
  std::filesystem::path suiteFile(std::string_view suite) const { return folder() / (std::string(suite) + ".sqlite"); }

 private:
  std::optional<std::string> previous_;
};

}  // namespace tul::testing
