// A whole suite copied out to a file and back in, through SQLite's backup interface:
// the copy is one consistent state of the suite even while other processes write it,
// and an import replaces the suite's content in one step that every reader sees whole.
// This is the safe way to move a suite: copying its file while a process uses it can
// pair the copy with another file's write-ahead log.

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/foundation/atomic_file.h"
#include "platform/foundation/in_double_quotes.h"
#include "platform/foundation/suite_connection.h"
#include "platform/foundation/user_defaults.h"

namespace foundation {
namespace {

using suite::Connection;

// Copies every page of `from` into `to` (both "main"), waiting out other writers for
// a few seconds; SQLite's result code.
int copyDatabase(sqlite3* to, sqlite3* from) {
  sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
  if (backup == nullptr) return sqlite3_errcode(to);
  int rc = SQLITE_OK;
  for (int attempt = 0; attempt < 100; ++attempt) {
    rc = sqlite3_backup_step(backup, -1);
    if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const int finished = sqlite3_backup_finish(backup);
  return rc == SQLITE_DONE ? finished : rc;
}

DefaultsError failure(const std::string& suite, const std::string& what) {
  return DefaultsError{DefaultsError::Code::storageFailed, "suite " + inDoubleQuotes(suite) + ": " + what};
}

}  // namespace

std::expected<void, DefaultsError> UserDefaults::exportTo(const std::filesystem::path& file) const {
  Connection& connection = *connection_;
  std::string image;
  {
    const std::lock_guard lock(connection.mutex);
    sqlite3* db = connection.database();
    if (db == nullptr) return std::unexpected(failure(suiteName(), std::string(suite::kRetiredMessage)));
    // Copied into memory first: the file is then written as any other, whole or not at all.
    sqlite3* memory = nullptr;
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> owned(
        sqlite3_open_v2(":memory:", &memory, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK ? memory : nullptr,
        sqlite3_close_v2);
    if (!owned) {
      sqlite3_close_v2(memory);
      return std::unexpected(failure(suiteName(), "cannot make room for the copy"));
    }
    if (const int rc = copyDatabase(memory, db); rc != SQLITE_OK) {
      return std::unexpected(failure(suiteName(), std::string("cannot be copied: ") + sqlite3_errstr(rc)));
    }
    sqlite3_int64 size = 0;
    unsigned char* bytes = sqlite3_serialize(memory, "main", &size, 0);
    if (bytes == nullptr) return std::unexpected(failure(suiteName(), "cannot be copied: out of memory"));
    image.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    sqlite3_free(bytes);
  }
  if (auto written = writeFileAtomically(file, image, Overwrite::refuse); !written) {
    return std::unexpected(failure(suiteName(), "cannot be exported: " + written.error()));
  }
  return {};
}

std::expected<void, DefaultsError> UserDefaults::importFrom(const std::filesystem::path& file) {
  auto source = suite::openForReading(file.string());
  if (!source) {
    return std::unexpected(
        DefaultsError{DefaultsError::Code::unsupportedValue,
                      inDoubleQuotes(file.string()) + " cannot be imported: " + std::string(describe(source.error()))});
  }
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  sqlite3* db = connection.database();
  if (db == nullptr) return std::unexpected(failure(suiteName(), std::string(suite::kRetiredMessage)));
  if (connection.readOnly()) {
    return std::unexpected(failure(suiteName(), std::string(suite::kReadOnlyMessage)));
  }
  if (const int rc = copyDatabase(db, source->get()); rc != SQLITE_OK) {
    return std::unexpected(failure(
        suiteName(), std::string("cannot import ") + inDoubleQuotes(file.string()) + ": " + sqlite3_errstr(rc)));
  }
  return {};
}

}  // namespace foundation
