// Test support: a fresh preferences folder for one test, selected through the
// environment so that this process and the child processes it starts use it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tul::testing {

class TempPreferences {
 public:
  TempPreferences() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tul-prefs-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    folder_ = root_ / "preferences";
    ::setenv("WIDGET_PLATFORM_PREFERENCES", folder_.c_str(), 1);
  }
  ~TempPreferences() {
    ::unsetenv("WIDGET_PLATFORM_PREFERENCES");
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  TempPreferences(const TempPreferences&) = delete;
  TempPreferences& operator=(const TempPreferences&) = delete;

  const std::filesystem::path& root() const { return root_; }
  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path suiteFile(const std::string& suite) const { return folder_ / (suite + ".sqlite"); }

 private:
  std::filesystem::path root_;
  std::filesystem::path folder_;
};

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace tul::testing
