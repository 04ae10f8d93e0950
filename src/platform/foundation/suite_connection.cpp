#include "platform/foundation/suite_connection.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
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

// What is at `path` before SQLite sees it: missing, a regular file that is empty or
// starts with SQLite's header text, or something no suite can be. SQLite itself reads a
// one-byte file as an empty database, and a suite would then be written over it. The
// file is opened without blocking and checked on the open descriptor, so that a FIFO
// put there never makes the open wait for a writer.
enum class Found { missing, database, unreadable, notRegularFile, notADatabase };

Found look(const std::string& path) {
  constexpr std::string_view kHeader("SQLite format 3\0", 16);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    // Missing when we looked: another process may make it at any moment, which SQLite
    // then opens like any file; a stat now would take that file for one we cannot read.
    if (errno == ENOENT) return Found::missing;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? Found::missing : Found::unreadable;
    return S_ISREG(info.st_mode) ? Found::unreadable : Found::notRegularFile;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return Found::notRegularFile;
  }
  std::array<char, kHeader.size()> start{};
  std::size_t got = 0;
  while (got < start.size()) {
    const ssize_t n = ::read(fd, start.data() + got, start.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return got == 0 || std::string_view(start.data(), got) == kHeader ? Found::database : Found::notADatabase;
}

// Whether this process may write the file at `path` and make files beside it (SQLite's
// write-ahead log and its index).
bool writable(const std::string& path, Found found) {
  const std::string folder = path.substr(0, path.rfind('/') + 1);
  return ::access(folder.c_str(), W_OK | X_OK) == 0 && (found == Found::missing || ::access(path.c_str(), W_OK) == 0);
}

// Why the last statement on `db` failed, as an open failure.
SuiteOpenFailure failureOf(sqlite3* db) {
  const int code = sqlite3_errcode(db);
  return code == SQLITE_BUSY || code == SQLITE_LOCKED ? SuiteOpenFailure::locked : SuiteOpenFailure::notASuite;
}

// Opens `path` for reading only: through the write-ahead log when one is beside it (a
// writer may be using it), else as an unchanging file, since without a log SQLite would
// have to make one in a folder it may not write.
sqlite3* openReadOnly(const std::string& path) {
  struct stat info {};
  const bool hasLog = ::stat((path + "-wal").c_str(), &info) == 0;
  sqlite3* db = nullptr;
  char* uri = sqlite3_mprintf("file:%s?%s", path.c_str(), hasLog ? "mode=ro" : "immutable=1");
  if (uri == nullptr) return nullptr;
  // Percent-escapes in a file name would be read as escapes: hand the name over as a
  // path instead when it holds any.
  const bool plain = path.find_first_of("%?#") == std::string::npos;
  const int rc = plain
                     ? sqlite3_open_v2(uri, &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr)
                     : sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_free(uri);
  if (rc != SQLITE_OK) {
    discard(db);
    return nullptr;
  }
  return db;
}

// Opens the suite file at `path` and checks it: everything that could tell a foreign or
// damaged file runs before the first write to it. `readOnly` says whether it was
// opened for reading only (always, with `onlyRead`).
std::expected<sqlite3*, SuiteOpenFailure> openChecked(const std::string& path, bool onlyRead, bool& readOnly) {
  const Found found = look(path);
  if (found == Found::notRegularFile) return std::unexpected(SuiteOpenFailure::notRegularFile);
  if (found == Found::notADatabase || found == Found::unreadable) return std::unexpected(SuiteOpenFailure::notASuite);
  // Set once, before SQLite starts (later they are refused, harmlessly). SQLite's own
  // bookkeeping of memory in use takes a lock on every allocation, and nothing here
  // reads it. And no page cache is set aside in advance: by default a connection's
  // first read allocates and touches room for 20 pages, where a suite reads a few.
  static const bool configured = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    return true;
  }();
  static_cast<void>(configured);

  // A suite this process may read but not write is opened for reading: its values can
  // be shown, and every write fails saying why.
  readOnly = onlyRead || !writable(path, found);
  if (readOnly && found == Found::missing) {
    return std::unexpected(onlyRead ? SuiteOpenFailure::notASuite : SuiteOpenFailure::cannotCreate);
  }
  sqlite3* db = nullptr;
  if (readOnly) {
    db = openReadOnly(path);
    if (db == nullptr) return std::unexpected(SuiteOpenFailure::notASuite);
  } else if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr) != SQLITE_OK) {
    // Without SQLite's per-call locking: every use of a connection holds its own mutex.
    discard(db);
    return std::unexpected(found == Found::missing ? SuiteOpenFailure::cannotCreate : SuiteOpenFailure::notASuite);
  }
  const auto refuse = [db](SuiteOpenFailure failure) {
    discard(db);
    return std::unexpected(failure);
  };
  // SQLite quietly opens read-only a file that access() called writable (another
  // user's rules, a file system mounted read-only); such a suite is refused.
  if (!readOnly && sqlite3_db_readonly(db, "main") != 0) return refuse(SuiteOpenFailure::notASuite);
  sqlite3_busy_timeout(db, kBusyTimeoutMilliseconds);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);

  // Reading the schema reads the header and the first page: this is where a file that
  // is not a database fails, with nothing written yet.
  const auto objects = singleText(db, "SELECT count(*) FROM sqlite_master");
  if (!objects) return refuse(failureOf(db));
  // A database that holds other things but not our table belongs to someone else, and
  // so does one whose `entries` table has another shape. An empty one that may not be
  // written has no table to read.
  if ((*objects != "0" || readOnly) &&
      (!singleText(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'entries'") ||
       !hasSuiteShape(db))) {
    return refuse(SuiteOpenFailure::notASuite);
  }
  // Reads every page once; a suite is small, and a damaged one must not be written.
  if (const auto check = singleText(db, "PRAGMA quick_check"); check != "ok") {
    return refuse(check ? SuiteOpenFailure::notASuite : failureOf(db));
  }
  return db;
}

// Puts a suite into WAL mode; true once it is. On a new file the switch upgrades the
// read lock it takes to a write lock within one statement, and SQLite never calls the
// busy handler for such an upgrade (two connections each waiting for the other's read
// lock would wait for ever): when two processes open a new suite at once, one of them
// would be refused outright. The switch is therefore tried again for as long as the
// busy timeout; once the other process has switched the file, it finds nothing to do.
bool switchToWriteAheadLog(sqlite3* db) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kBusyTimeoutMilliseconds);
  for (;;) {
    if (const auto mode = singleText(db, "PRAGMA journal_mode = WAL")) return *mode == "wal";
    if ((sqlite3_errcode(db) & 0xFF) != SQLITE_BUSY || Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

std::expected<ReadOnlyDatabase, SuiteOpenFailure> openForReading(const std::string& path) {
  bool readOnly = true;
  auto db = openChecked(path, true, readOnly);
  if (!db) return std::unexpected(db.error());
  return ReadOnlyDatabase(*db, discard);
}

std::expected<std::shared_ptr<Connection>, SuiteOpenFailure> Connection::open(const std::string& path,
                                                                              std::string_view suiteName) {
  bool readOnly = false;
  auto checked = openChecked(path, false, readOnly);
  if (!checked) return std::unexpected(checked.error());
  sqlite3* db = *checked;
  const auto refuse = [db](SuiteOpenFailure failure) {
    discard(db);
    return std::unexpected(failure);
  };

  // The first writes.
  if (!readOnly && (!switchToWriteAheadLog(db) ||
                    sqlite3_exec(db,
                                 "CREATE TABLE IF NOT EXISTS entries ("
                                 "key TEXT PRIMARY KEY NOT NULL, kind TEXT NOT NULL, value BLOB)",
                                 nullptr, nullptr, nullptr) != SQLITE_OK)) {
    return refuse(failureOf(db));
  }

  auto connection = std::make_shared<Connection>(Private{});
  connection->db_ = db;
  connection->owner_ = currentProcess();
  connection->suiteName_ = suiteName;
  connection->readOnly_ = readOnly;
  // Each statement is prepared when first used: a command that only reads compiles one.
  // Every one of them compiles on a suite that passed the checks above.
  Statements& s = connection->statements_;
  s.select = Statement::onFirstUse(db, kSelectSql);
  s.upsert = Statement::onFirstUse(db, kUpsertSql);
  s.remove = Statement::onFirstUse(db, "DELETE FROM entries WHERE key = ?1");
  s.removeAll = Statement::onFirstUse(db, "DELETE FROM entries");
  s.keys = Statement::onFirstUse(db, "SELECT key FROM entries ORDER BY key");
  s.begin = Statement::onFirstUse(db, "BEGIN IMMEDIATE");
  s.commit = Statement::onFirstUse(db, "COMMIT");
  s.rollback = Statement::onFirstUse(db, "ROLLBACK");
  struct stat info {};
  // The destructor closes.
  if (::stat(path.c_str(), &info) != 0) return std::unexpected(SuiteOpenFailure::notASuite);
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
  forgetReads();
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

std::optional<ChangeMark> Connection::changeMark() const {
  // Only a connection opened for writing is in WAL mode for sure; a read-only one may
  // have opened a file without a log, as unchanging.
  if (db_ == nullptr || readOnly_ || sqlite3_get_autocommit(db_) == 0) return std::nullopt;
  return readChangeMark(db_);
}

const std::optional<PropertyValue>* Connection::remembered(std::string_view key, const ChangeMark& mark) const {
  if (!lastRead_ || lastRead_->mark != mark || lastRead_->key != key) return nullptr;
  return &lastRead_->value;
}

void Connection::remember(std::string_view key, const std::optional<PropertyValue>& value, const ChangeMark& mark) {
  if (!lastRead_) lastRead_.emplace();
  lastRead_->key = key;
  lastRead_->value = value;
  lastRead_->mark = mark;
}

void Connection::rollBackIfOpen() {
  if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0) {
    const StatementUse use(statements_.rollback);
    sqlite3_step(use.get());
  }
}

}  // namespace foundation::suite
