// UserDefaults: a named preferences suite shared between processes, the stand-in
// for the platform's `UserDefaults(suiteName:)`.
//
// Each suite is one SQLite database file (WAL mode, with a busy timeout so that
// several processes can read and write it at once) in the preferences folder:
//   $WIDGET_PLATFORM_PREFERENCES                    when set, else
//   $XDG_DATA_HOME/widget-platform/preferences      when XDG_DATA_HOME is set, else
//   $HOME/.local/share/widget-platform/preferences
// The file is "<suite name>.sqlite". A value keeps its kind (see PropertyValue).
//
// Promises:
// - No value is cached: every read reads the database. The process keeps at most one
//   connection per suite file, so opening a handle is cheap; a suite file that was
//   removed, replaced or moved on disk, or whose folder was, is noticed by the next
//   handle. (A process that keeps using a suite has its folder watched with inotify
//   rather than its path looked up each time; then a folder further up being renamed
//   goes unnoticed.)
// - A suite that cannot be opened (bad name, its folder cannot be created, permission
//   denied, the file is not a database or is corrupt) gives no handle, and its file is
//   never overwritten, truncated or removed.
// - Writes are atomic: another process sees the old value or the new one, whole.
// - Handles may be used from any thread.
#pragma once

#include <cstddef>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/property_value.h"

namespace foundation {

struct DefaultsError {
  enum class Code { valueTooLarge, invalidKey, storageFailed, unsupportedValue };
  Code code;
  std::string message;  // says what failed and where (suite, key, reason)
};

class UserDefaults {
 public:
  // Values larger than this (in stored bytes) are refused on write.
  static constexpr std::size_t kMaxValueBytes = 4 * 1024 * 1024;

  // A handle on the named suite, or none when it cannot be opened. A suite name is
  // 1 to 240 bytes (so that SQLite's longest companion file, "<name>.sqlite-journal",
  // still fits a 255-byte file name) and may not contain '/', NUL, or be "." or "..".
  static std::optional<UserDefaults> make(std::string_view suiteName);

  // As make(), for a suite in `folder` instead of the preferences folder.
  static std::optional<UserDefaults> make(std::string_view suiteName,
                                          const std::filesystem::path& folder);

  // The preferences folder the environment selects (see above).
  static std::filesystem::path preferencesFolder();

  // The file that holds `suiteName` in the preferences folder.
  static std::filesystem::path suitePath(std::string_view suiteName);

  // The value stored under `key`, with its kind, or none when there is none or the
  // read fails.
  std::optional<PropertyValue> object(std::string_view key) const;

  // Replaces the value under `key`.
  std::expected<void, DefaultsError> set(const PropertyValue& value, std::string_view key);

  // Replaces the value under `key` only if the stored value is still `expected`
  // (none: nothing stored), in one transaction against other writers. Returns whether
  // it wrote.
  std::expected<bool, DefaultsError> setIfUnchanged(const PropertyValue& value, std::string_view key,
                                                    const std::optional<PropertyValue>& expected);

  std::expected<void, DefaultsError> removeObject(std::string_view key);

  // Removes every key of the suite.
  std::expected<void, DefaultsError> removeAll();

  // The stored keys, sorted.
  std::vector<std::string> keys() const;

  const std::string& suiteName() const;

  struct Connection;  // one per suite file per process; defined in the source

 private:
  explicit UserDefaults(std::shared_ptr<Connection> connection);
  // make() for a folder given as text, the form the common case compares.
  static std::optional<UserDefaults> makeInFolder(std::string_view suiteName, std::string_view folder);
  std::shared_ptr<Connection> connection_;
};

}  // namespace foundation
