// UserDefaults: a named preferences suite shared between processes, the stand-in
// for the platform's `UserDefaults(suiteName:)`.
//
// Each suite is one SQLite database file (WAL mode, with a busy timeout so that
// several processes can read and write it at once), "<suite name>.sqlite" in the
// preferences folder (see preferences_location.h: $WIDGET_PLATFORM_PREFERENCES, else
// under $XDG_DATA_HOME, else under $HOME). A value keeps its kind (see PropertyValue;
// the stored form is in suite_value_coding.h).
//
// Promises:
// - No value is cached: every read reads the database. The process keeps at most one
//   connection per suite file, so opening a handle is cheap; a suite file that was
//   removed, replaced or moved on disk, or whose folder was, is noticed by the next
//   handle. (A process that keeps using a suite has its folder watched with inotify
//   rather than its path looked up each time; then a folder further up being renamed
//   goes unnoticed.)
// - A handle made before its suite file was noticed removed or replaced is retired: it
//   never touches the new file. On a retired handle object() gives none, keys() an
//   empty list, and set(), setIfUnchanged(), removeObject() and removeAll() fail with
//   storageFailed, saying that the file was removed or replaced.
// - A suite that cannot be opened (bad name, its folder cannot be created, permission
//   denied, the file is not a regular file, not a database or is corrupt, or is locked
//   past the busy timeout) gives no handle, and its file is never overwritten,
//   truncated or removed. Opening never waits on a FIFO.
// - A suite this process may read but not write is opened for reading: reads work, and
//   every write fails with storageFailed, saying that the suite is read-only.
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
#include "platform/foundation/suite_open_failure.h"

namespace foundation {

namespace suite {
class Connection;  // one per suite file per process (suite_connection.h)
}

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
  static std::optional<UserDefaults> make(std::string_view suiteName, const std::filesystem::path& folder);

  // As make(), with the reason when the suite cannot be opened (a bad name or folder
  // counts as cannotCreate).
  static std::expected<UserDefaults, SuiteOpenFailure> open(std::string_view suiteName);

  // The preferences folder the environment selects (see preferences_location.h).
  static std::filesystem::path preferencesFolder();

  // The file that holds `suiteName` in the preferences folder.
  static std::filesystem::path suitePath(std::string_view suiteName);

  // The value stored under `key`, with its kind, or none when there is none, the key
  // is invalid, the handle is retired, the read fails, or the stored value is unusable
  // (it does not hold a value of its kind, or it is over kMaxValueBytes, as another
  // program may have written it).
  std::optional<PropertyValue> object(std::string_view key) const;

  // Replaces the value under `key`. Fails with invalidKey (more than 1024 bytes, or not
  // UTF-8), unsupportedValue (text that is not UTF-8, nesting deeper than 256 levels),
  // valueTooLarge (over kMaxValueBytes), or storageFailed (the write failed, or the
  // handle is retired); the stored value is then unchanged.
  std::expected<void, DefaultsError> set(const PropertyValue& value, std::string_view key);

  // Replaces the value under `key` only if the stored value is still `expected`
  // (none: nothing stored, or an unusable value), in one transaction against other
  // writers. Values are compared by their stored form, so a NaN matches a NaN. Returns
  // whether it wrote. Fails as set() does.
  std::expected<bool, DefaultsError> setIfUnchanged(const PropertyValue& value, std::string_view key,
                                                    const std::optional<PropertyValue>& expected);

  // Removes the value under `key`; removing a key that holds none succeeds. Fails with
  // invalidKey or storageFailed, as set() does.
  std::expected<void, DefaultsError> removeObject(std::string_view key);

  // Removes every key of the suite. Fails with storageFailed.
  std::expected<void, DefaultsError> removeAll();

  // The stored keys, sorted by their bytes; an empty list when the read fails or the
  // handle is retired.
  std::vector<std::string> keys() const;

  const std::string& suiteName() const;

  // Writes one consistent copy of the whole suite to the new SQLite file `file` (an
  // existing file is not replaced), through SQLite's backup interface, so that it is
  // safe while other processes use the suite. Fails with storageFailed.
  std::expected<void, DefaultsError> exportTo(const std::filesystem::path& file) const;

  // Replaces the whole content of the suite with that of the suite file `file` (as
  // exportTo() writes it), in one step that other processes see whole. Fails with
  // unsupportedValue when `file` is no suite file, else with storageFailed; the suite
  // is then unchanged.
  std::expected<void, DefaultsError> importFrom(const std::filesystem::path& file);

 private:
  explicit UserDefaults(std::shared_ptr<suite::Connection> connection);
  // open() for a folder given as text, the form the common case compares.
  static std::expected<UserDefaults, SuiteOpenFailure> openInFolder(std::string_view suiteName,
                                                                    std::string_view folder);
  std::shared_ptr<suite::Connection> connection_;
};

}  // namespace foundation
