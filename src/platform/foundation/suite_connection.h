// suite::Connection: one suite file open in this process, with the prepared statements
// that every use of it shares.
//
// Promises:
// - open() refuses a file it cannot use as a suite (not a regular file, not a database,
//   damaged, another program's) before anything is written to it, and leaves it as it
//   was; it never waits on a FIFO. A suite this process may not write is opened for
//   reading only.
// - All use of a connection holds its mutex.
// - Once retired (its file was removed or replaced on disk) a connection is closed
//   without a checkpoint, and its statements are out of reach: live() gives none.
// - A connection inherited across fork() is never closed by the child.
// - A value it remembers is given back only while the suite stands where it stood when
//   the value was read: no transaction was committed to it since, by any process.
#pragma once

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/property_value.h"
#include "platform/foundation/sqlite_statement.h"
#include "platform/foundation/suite_change_mark.h"
#include "platform/foundation/suite_open_failure.h"

namespace foundation::suite {

// What an operation on a retired connection says.
inline constexpr std::string_view kRetiredMessage =
    "the suite file was removed or replaced on disk since this handle was made";
// What a write to a connection opened for reading only says.
inline constexpr std::string_view kReadOnlyMessage = "the suite is read-only: this process may not write its file";

struct Statements {
  Statement select;  // ?1 key → kind, value
  Statement upsert;  // ?1 key, ?2 kind, ?3 value
  Statement remove;  // ?1 key
  Statement removeAll;
  Statement keys;   // → key, sorted
  Statement begin;  // BEGIN IMMEDIATE
  Statement commit;
  Statement rollback;

  std::array<Statement*, 8> all() { return {&select, &upsert, &remove, &removeAll, &keys, &begin, &commit, &rollback}; }
};

// A suite file opened for reading only and checked as Connection::open() checks one.
using ReadOnlyDatabase = std::unique_ptr<sqlite3, void (*)(sqlite3*)>;
std::expected<ReadOnlyDatabase, SuiteOpenFailure> openForReading(const std::string& path);

class Connection {
  struct Private {};

 public:
  // The suite file at `path` (absolute) opened, or none when it cannot be used as a
  // suite, with the reason. `suiteName` names it in messages.
  static std::expected<std::shared_ptr<Connection>, SuiteOpenFailure> open(const std::string& path,
                                                                           std::string_view suiteName);

  explicit Connection(Private) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Held for every use of the members below but retire().
  std::mutex mutex;

  // The prepared statements while the connection is open; none once it was retired.
  Statements* live() { return db_ == nullptr ? nullptr : &statements_; }

  // The database while the connection is open, for whole-suite operations (a backup);
  // none once it was retired. The caller holds the mutex.
  sqlite3* database() {
    forgetReads();
    return db_;
  }

  // Where the suite stands now, while the connection is open for writing and outside a
  // transaction of its own; none otherwise. The caller holds the mutex.
  std::optional<ChangeMark> changeMark() const;
  // The value read under `key` when the suite stood at `mark`, if it is the one
  // remembered (none inside: the key held no value); null otherwise.
  const std::optional<PropertyValue>* remembered(std::string_view key, const ChangeMark& mark) const;
  // Remembers what `key` held at `mark`, in place of the value remembered before.
  void remember(std::string_view key, const std::optional<PropertyValue>& value, const ChangeMark& mark);
  void forgetReads() { lastRead_.reset(); }

  // Why the last operation failed: SQLite's message, or kRetiredMessage once retired.
  std::string message() const;

  // Ends an open transaction after a failure; harmless when none is open.
  void rollBackIfOpen();

  // Closes the connection of a suite file that was removed or replaced on disk. Without
  // a checkpoint, so that closing cannot remove the -wal and -shm files that a new
  // database of the same name may be using by now; and at once, so that this process
  // never maps one -shm file through two connections. Takes the mutex itself.
  void retire();

  const std::string& suiteName() const { return suiteName_; }
  // Whether it was opened for reading only, because this process may not write it.
  bool readOnly() const { return readOnly_; }
  // The process that opened it.
  pid_t owner() const { return owner_; }
  // Whether `info` (of a stat) describes the file that was opened.
  bool isFile(const struct stat& info) const { return info.st_dev == device_ && info.st_ino == inode_; }

 private:
  void close();

  sqlite3* db_ = nullptr;
  pid_t owner_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::string suiteName_;
  bool readOnly_ = false;
  Statements statements_;
  // The last value read, so that a process asking again and again for one key of a
  // suite nobody changes costs no read transaction (SQLite takes and releases a lock
  // on the log's index for each, and checks the file's size: three system calls).
  struct Read {
    std::string key;
    std::optional<PropertyValue> value;
    ChangeMark mark;
  };
  std::optional<Read> lastRead_;
};

}  // namespace foundation::suite
