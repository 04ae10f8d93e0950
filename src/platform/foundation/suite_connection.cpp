#include "platform/foundation/suite_connection.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/foundation/current_process.h"

namespace foundation::suite {
namespace {

constexpr int kBusyTimeoutMilliseconds = 5000;

// Closes a database we decided not to use without writing to it: no checkpoint on close.
void discard(sqlite3* db) {
  if (db == nullptr) return;
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_close_v2(db);
}

constexpr const char* kSelectSql = "SELECT kind, value FROM entries WHERE key = ?1";
constexpr const char* kUpsertSql =
    "INSERT INTO entries (key, kind, value) VALUES (?1, ?2, ?3) "
    "ON CONFLICT (key) DO UPDATE SET kind = excluded.kind, value = excluded.value";

// Whether an existing `entries` table has the columns and the unique key that the
// suite's statements need: an `entries` table of another shape is someone else's.
bool hasSuiteShape(sqlite3* db) { return compiles(db, kSelectSql) && compiles(db, kUpsertSql); }

// Whether the file at `path` is missing, empty, or starts with SQLite's header text.
// SQLite itself reads a one-byte file as an empty database, and a suite would then be
// written over it.
bool mayBeADatabase(const std::string& path) {
  constexpr std::string_view kHeader("SQLite format 3\0", 16);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;  // missing, or unreadable: SQLite tells which
  std::array<char, kHeader.size()> start{};
  std::size_t got = 0;
  while (got < start.size()) {
    const ssize_t n = ::read(fd, start.data() + got, start.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return got == 0 || std::string_view(start.data(), got) == kHeader;
}

}  // namespace

// Everything that could tell a foreign or damaged file runs before the first write to it.
std::shared_ptr<Connection> Connection::open(const std::string& path, std::string_view suiteName) {
  if (!mayBeADatabase(path)) return nullptr;
  // SQLite's own bookkeeping of memory in use takes a lock on every allocation; nothing
  // here reads it. Set once, before SQLite starts (later it is refused, harmlessly).
  static const int unusedStatus = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  static_cast<void>(unusedStatus);
  sqlite3* db = nullptr;
  // Without SQLite's per-call locking: every use of a connection holds its own mutex.
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    discard(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMilliseconds);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);

  // SQLite quietly opens a file it may not write read-only; such a suite is refused.
  if (sqlite3_db_readonly(db, "main") != 0) {
    discard(db);
    return nullptr;
  }

  // Reading the schema reads the header and the first page: this is where a file that
  // is not a database fails, with nothing written yet.
  const auto objects = singleText(db, "SELECT count(*) FROM sqlite_master");
  if (!objects) {
    discard(db);
    return nullptr;
  }
  // A database that holds other things but not our table belongs to someone else, and
  // so does one whose `entries` table has another shape.
  if (*objects != "0" && (!singleText(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'entries'") ||
                          !hasSuiteShape(db))) {
    discard(db);
    return nullptr;
  }
  // Reads every page once; a suite is small, and a damaged one must not be written.
  if (singleText(db, "PRAGMA quick_check") != "ok") {
    discard(db);
    return nullptr;
  }

  // The first writes.
  if (singleText(db, "PRAGMA journal_mode = WAL") != "wal" ||
      sqlite3_exec(db,
                   "CREATE TABLE IF NOT EXISTS entries ("
                   "key TEXT PRIMARY KEY NOT NULL, kind TEXT NOT NULL, value BLOB)",
                   nullptr, nullptr, nullptr) != SQLITE_OK) {
    discard(db);
    return nullptr;
  }

  auto connection = std::make_shared<Connection>(Private{});
  connection->db_ = db;
  connection->owner_ = currentProcess();
  connection->suiteName_ = suiteName;
  Statements& s = connection->statements_;
  const bool prepared = preparePersistent(db, kSelectSql, s.select) && preparePersistent(db, kUpsertSql, s.upsert) &&
                        preparePersistent(db, "DELETE FROM entries WHERE key = ?1", s.remove) &&
                        preparePersistent(db, "DELETE FROM entries", s.removeAll) &&
                        preparePersistent(db, "SELECT key FROM entries ORDER BY key", s.keys) &&
                        preparePersistent(db, "BEGIN IMMEDIATE", s.begin) &&
                        preparePersistent(db, "COMMIT", s.commit) && preparePersistent(db, "ROLLBACK", s.rollback);
  struct stat info {};
  if (!prepared || ::stat(path.c_str(), &info) != 0) return nullptr;  // the destructor closes
  connection->device_ = info.st_dev;
  connection->inode_ = info.st_ino;
  return connection;
}

Connection::~Connection() {
  // A copy inherited across fork() is left alone: closing it would checkpoint and
  // remove the WAL under the feet of the process that opened it.
  if (getpid() != owner_) {
    for (Statement* statement : statements_.all()) statement->release();
    return;
  }
  close();
}

void Connection::close() {
  for (Statement* statement : statements_.all()) statement->reset();
  sqlite3_close(std::exchange(db_, nullptr));
}

void Connection::retire() {
  const std::lock_guard lock(mutex);
  if (db_ == nullptr) return;
  sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  close();
}

std::string Connection::message() const {
  return db_ == nullptr ? std::string(kRetiredMessage) : std::string(sqlite3_errmsg(db_));
}

void Connection::rollBackIfOpen() {
  if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0) {
    const StatementUse use(statements_.rollback);
    sqlite3_step(use.get());
  }
}

}  // namespace foundation::suite
