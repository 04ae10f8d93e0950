#include "platform/foundation/user_defaults.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <system_error>
#include <utility>

#include "platform/foundation/canonical_text.h"
#include "platform/foundation/data.h"

// Storage layout of a suite file:
//
//   CREATE TABLE entries (key TEXT PRIMARY KEY NOT NULL, kind TEXT NOT NULL, value BLOB)
//
// `kind` is the kind's name ("data", "string", …). Scalars are stored in SQLite's own
// types so that the file reads plainly with any SQLite tool: data as a BLOB, a string as
// TEXT, an integer or a boolean (0 or 1) as INTEGER, a real as REAL (SQLite keeps NaN as
// NULL), a date as INTEGER microseconds since 1970. Arrays and dictionaries are TEXT
// holding JSON in which every value is an object with one member named after its kind:
//   {"array":[{"string":"a"},{"integer":2},{"data":"AAE="},{"real":"nan"}]}
// Data inside JSON is base64; a real that JSON cannot write is "nan", "inf" or "-inf".

namespace foundation {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr int kBusyTimeoutMilliseconds = 5000;
// A file name may have 255 bytes; the longest we make is "<name>.sqlite-journal".
constexpr std::size_t kMaxSuiteNameLength = 240;
constexpr std::size_t kMaxKeyBytes = 1024;
constexpr int kMaxNesting = 256;
constexpr std::string_view kSuiteExtension = ".sqlite";
// Names the preferences folder when set (see user_defaults.h).
constexpr const char* kPreferencesVariable = "WIDGET_PLATFORM_PREFERENCES";
// How many times make() looks up the path of an open suite file before it has the
// file's folder watched instead (see Registry).
constexpr unsigned kLookupsBeforeWatching = 8;
constexpr std::string_view kRetiredMessage =
    "the suite file was removed or replaced on disk since this handle was made";

// This process's id, kept up to date in the child of fork(): asking the kernel on every
// make() was a system call a request.
pid_t currentProcess() {
  static std::atomic<pid_t> current = [] {
    pthread_atfork(nullptr, nullptr, [] { current.store(getpid(), std::memory_order_relaxed); });
    return getpid();
  }();
  return current.load(std::memory_order_relaxed);
}

// ---- Text checks ----

std::optional<std::string> keyProblem(std::string_view key) {
  if (key.size() > kMaxKeyBytes) {
    return "the key is " + std::to_string(key.size()) + " bytes long, more than " + std::to_string(kMaxKeyBytes);
  }
  if (!isValidUTF8(key)) return std::string("the key is not valid UTF-8");
  return std::nullopt;
}

bool isValidSuiteName(std::string_view name) {
  if (name.empty() || name.size() > kMaxSuiteNameLength) return false;
  if (name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// ---- Values to and from their stored form ----

std::optional<PropertyKind> kindNamed(std::string_view name) {
  for (int i = 0; i <= static_cast<int>(PropertyKind::dictionary); ++i) {
    const auto kind = static_cast<PropertyKind>(i);
    if (kindName(kind) == name) return kind;
  }
  return std::nullopt;
}

std::int64_t microsecondsOf(const Date& date) { return date.timePoint().time_since_epoch().count(); }

Date dateFromMicroseconds(std::int64_t micros) { return Date(Date::TimePoint(std::chrono::microseconds(micros))); }

// The JSON form of a nested value; on failure `problem` says what and where.
std::optional<Json> toJson(const PropertyValue& value, std::string& path, int depth, std::string& problem) {
  if (depth > kMaxNesting) {
    problem = "values nest deeper than " + std::to_string(kMaxNesting) + " levels at " + path;
    return std::nullopt;
  }
  const std::string tag(kindName(value.kind()));
  if (const auto* data = value.getIf<Data>()) return Json{{tag, base64Encoded(stringView(*data))}};
  if (const auto* text = value.getIf<std::string>()) {
    if (!isValidUTF8(*text)) {
      problem = "the string at " + path + " is not valid UTF-8";
      return std::nullopt;
    }
    return Json{{tag, *text}};
  }
  if (const auto* integer = value.getIf<std::int64_t>()) return Json{{tag, *integer}};
  if (const auto* real = value.getIf<double>()) {
    if (std::isnan(*real)) return Json{{tag, "nan"}};
    if (std::isinf(*real)) return Json{{tag, *real > 0 ? "inf" : "-inf"}};
    return Json{{tag, *real}};
  }
  if (const auto* flag = value.getIf<bool>()) return Json{{tag, *flag}};
  if (const auto* date = value.getIf<Date>()) return Json{{tag, microsecondsOf(*date)}};
  if (const auto* array = value.getIf<PropertyValue::Array>()) {
    Json items = Json::array();
    const std::size_t pathLength = path.size();
    for (std::size_t i = 0; i < array->size(); ++i) {
      path += "[" + std::to_string(i) + "]";
      auto item = toJson((*array)[i], path, depth + 1, problem);
      if (!item) return std::nullopt;
      path.resize(pathLength);
      items.push_back(std::move(*item));
    }
    return Json{{tag, std::move(items)}};
  }
  const auto& dictionary = std::get<PropertyValue::Dictionary>(value.storage);
  Json members = Json::object();
  const std::size_t pathLength = path.size();
  for (const auto& [key, member] : dictionary) {
    if (!isValidUTF8(key)) {
      problem = "a dictionary key at " + path + " is not valid UTF-8";
      return std::nullopt;
    }
    path += "[\"" + key + "\"]";
    auto item = toJson(member, path, depth + 1, problem);
    if (!item) return std::nullopt;
    path.resize(pathLength);
    members[key] = std::move(*item);
  }
  return Json{{tag, std::move(members)}};
}

std::optional<PropertyValue> fromJson(const Json& json, int depth) {
  if (depth > kMaxNesting || !json.is_object() || json.size() != 1) return std::nullopt;
  const auto member = json.begin();
  const Json& body = member.value();
  const auto kind = kindNamed(member.key());
  if (!kind) return std::nullopt;
  switch (*kind) {
    case PropertyKind::data: {
      if (!body.is_string()) return std::nullopt;
      auto data = dataFromBase64(body.get_ref<const std::string&>());
      if (!data) return std::nullopt;
      return PropertyValue{std::move(*data)};
    }
    case PropertyKind::string:
      if (!body.is_string()) return std::nullopt;
      return PropertyValue{body.get<std::string>()};
    case PropertyKind::integer:
    case PropertyKind::date: {
      std::int64_t number = 0;
      if (body.is_number_integer() && !body.is_number_unsigned()) {
        number = body.get<std::int64_t>();
      } else if (body.is_number_unsigned() &&
                 body.get<std::uint64_t>() <= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
        number = static_cast<std::int64_t>(body.get<std::uint64_t>());
      } else {
        return std::nullopt;
      }
      if (*kind == PropertyKind::date) return PropertyValue{dateFromMicroseconds(number)};
      return PropertyValue{number};
    }
    case PropertyKind::real:
      if (body.is_number()) return PropertyValue{body.get<double>()};
      if (body == "nan") return PropertyValue{std::numeric_limits<double>::quiet_NaN()};
      if (body == "inf") return PropertyValue{std::numeric_limits<double>::infinity()};
      if (body == "-inf") return PropertyValue{-std::numeric_limits<double>::infinity()};
      return std::nullopt;
    case PropertyKind::boolean:
      if (!body.is_boolean()) return std::nullopt;
      return PropertyValue{body.get<bool>()};
    case PropertyKind::array: {
      if (!body.is_array()) return std::nullopt;
      PropertyValue::Array items;
      items.reserve(body.size());
      for (const auto& item : body) {
        auto value = fromJson(item, depth + 1);
        if (!value) return std::nullopt;
        items.push_back(std::move(*value));
      }
      return PropertyValue{std::move(items)};
    }
    case PropertyKind::dictionary: {
      if (!body.is_object()) return std::nullopt;
      PropertyValue::Dictionary members;
      for (const auto& [key, item] : body.items()) {
        auto value = fromJson(item, depth + 1);
        if (!value) return std::nullopt;
        members.emplace(key, std::move(*value));
      }
      return PropertyValue{std::move(members)};
    }
  }
  return std::nullopt;
}

// A value in the form it is bound to the `value` column. `bytes` points into the value
// being written or into `json`, so an Encoded lives no longer than both.
struct Encoded {
  enum class Column { integer, real, text, blob };
  Column column = Column::integer;
  std::int64_t integer = 0;
  double real = 0;
  std::string json;
  std::string_view bytes;

  std::size_t storedBytes() const {
    return column == Column::text || column == Column::blob ? bytes.size() : sizeof(std::int64_t);
  }
};

// The stored form of `value`, or a description of why it cannot be stored.
std::expected<Encoded, std::string> encode(const PropertyValue& value) {
  Encoded out;
  switch (value.kind()) {
    case PropertyKind::data:
      out.column = Encoded::Column::blob;
      out.bytes = stringView(std::get<Data>(value.storage));
      return out;
    case PropertyKind::string:
      out.column = Encoded::Column::text;
      out.bytes = std::get<std::string>(value.storage);
      if (!isValidUTF8(out.bytes)) return std::unexpected(std::string("the string is not valid UTF-8"));
      return out;
    case PropertyKind::integer: out.integer = std::get<std::int64_t>(value.storage); return out;
    case PropertyKind::real:
      out.column = Encoded::Column::real;
      out.real = std::get<double>(value.storage);
      return out;
    case PropertyKind::boolean: out.integer = std::get<bool>(value.storage) ? 1 : 0; return out;
    case PropertyKind::date: out.integer = microsecondsOf(std::get<Date>(value.storage)); return out;
    case PropertyKind::array:
    case PropertyKind::dictionary: {
      std::string path = "the top";
      std::string problem;
      auto json = toJson(value, path, 0, problem);
      if (!json) return std::unexpected(problem);
      try {
        out.json = json->dump();
      } catch (const Json::exception& error) {
        return std::unexpected(std::string("the value cannot be written as JSON: ") + error.what());
      }
      out.column = Encoded::Column::text;
      out.bytes = out.json;
      return out;
    }
  }
  return std::unexpected(std::string("the value has an unknown kind"));
}

// The value a row holds, or none when the row does not hold a value of its kind.
std::optional<PropertyValue> decodeRow(sqlite3_stmt* statement, int kindColumn, int valueColumn) {
  const auto* kindText = sqlite3_column_text(statement, kindColumn);
  if (kindText == nullptr) return std::nullopt;
  const auto kind = kindNamed(reinterpret_cast<const char*>(kindText));
  if (!kind) return std::nullopt;

  const int type = sqlite3_column_type(statement, valueColumn);
  const auto bytes = [&] {
    // column_blob before column_bytes, as SQLite asks; an empty value may give null.
    const void* pointer = sqlite3_column_blob(statement, valueColumn);
    const int length = sqlite3_column_bytes(statement, valueColumn);
    return pointer == nullptr ? std::string_view()
                              : std::string_view(static_cast<const char*>(pointer), static_cast<std::size_t>(length));
  };
  switch (*kind) {
    case PropertyKind::data:
      if (type != SQLITE_BLOB) return std::nullopt;
      return PropertyValue{dataFromString(bytes())};
    case PropertyKind::string:
      if (type != SQLITE_TEXT) return std::nullopt;
      return PropertyValue{std::string(bytes())};
    case PropertyKind::integer:
      if (type != SQLITE_INTEGER) return std::nullopt;
      return PropertyValue{std::int64_t{sqlite3_column_int64(statement, valueColumn)}};
    case PropertyKind::real:
      if (type == SQLITE_NULL) return PropertyValue{std::numeric_limits<double>::quiet_NaN()};
      if (type != SQLITE_FLOAT) return std::nullopt;
      return PropertyValue{sqlite3_column_double(statement, valueColumn)};
    case PropertyKind::boolean: {
      if (type != SQLITE_INTEGER) return std::nullopt;
      const auto flag = sqlite3_column_int64(statement, valueColumn);
      if (flag != 0 && flag != 1) return std::nullopt;
      return PropertyValue{flag == 1};
    }
    case PropertyKind::date:
      if (type != SQLITE_INTEGER) return std::nullopt;
      return PropertyValue{dateFromMicroseconds(sqlite3_column_int64(statement, valueColumn))};
    case PropertyKind::array:
    case PropertyKind::dictionary: {
      if (type != SQLITE_TEXT) return std::nullopt;
      const Json json = Json::parse(bytes(), nullptr, /*allow_exceptions=*/false);
      if (json.is_discarded()) return std::nullopt;
      auto value = fromJson(json, 0);
      if (!value || value->kind() != *kind) return std::nullopt;
      return value;
    }
  }
  return std::nullopt;
}

// ---- SQLite helpers ----

// A prepared statement, finalized with its owner.
class Statement {
 public:
  Statement() = default;
  explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(Statement&& other) noexcept : statement_(std::exchange(other.statement_, nullptr)) {}
  Statement& operator=(Statement&& other) noexcept {
    std::swap(statement_, other.statement_);
    return *this;
  }
  sqlite3_stmt* get() const { return statement_; }

  // Finalizes now (a connection closes only once its statements are finalized).
  void reset() { sqlite3_finalize(std::exchange(statement_, nullptr)); }
  // Forgets the statement without finalizing it.
  void release() { statement_ = nullptr; }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// While alive, a cached statement is in use; at the end it is reset and its bindings
// dropped, so the bound values (bound without copying) may go away afterwards.
class StatementUse {
 public:
  explicit StatementUse(const Statement& statement) : statement_(statement.get()) {}
  ~StatementUse() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  sqlite3_stmt* get() const { return statement_; }

 private:
  sqlite3_stmt* statement_;
};

// A zero-length value bound from a null pointer would be stored as NULL.
const char* nonNull(std::string_view bytes) { return bytes.empty() ? "" : bytes.data(); }

int bindText(sqlite3_stmt* statement, int index, std::string_view text) {
  return sqlite3_bind_text64(statement, index, nonNull(text), text.size(), nullptr, SQLITE_UTF8);
}

int bindValue(sqlite3_stmt* statement, int index, const Encoded& value) {
  switch (value.column) {
    case Encoded::Column::integer: return sqlite3_bind_int64(statement, index, value.integer);
    case Encoded::Column::real: return sqlite3_bind_double(statement, index, value.real);
    case Encoded::Column::text: return bindText(statement, index, value.bytes);
    case Encoded::Column::blob:
      return sqlite3_bind_blob64(statement, index, nonNull(value.bytes), value.bytes.size(), nullptr);
  }
  return SQLITE_MISUSE;
}

// Runs a statement that returns at most one row of one text column and gives that text,
// or none on an error or when there is no row.
std::optional<std::string> singleText(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
    sqlite3_finalize(raw);
    return std::nullopt;
  }
  const Statement statement(raw);
  if (sqlite3_step(raw) != SQLITE_ROW) return std::nullopt;
  const auto* text = sqlite3_column_text(raw, 0);
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

std::string inQuotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

// ---- Connections ----

struct UserDefaults::Connection {
  std::mutex mutex;
  sqlite3* db = nullptr;
  pid_t owner = 0;
  dev_t device = 0;
  ino_t inode = 0;
  // The watch on the file's folder (see Registry::noticeChanges), or -1 when there is
  // none; while there is one, the path is looked up again only after an event for it.
  int watch = -1;
  bool watchTried = false;
  unsigned lookups = 0;  // of the path, before the folder is watched
  bool mayHaveChanged = true;
  std::string fileName;
  std::string suiteName;  // for messages: the file's name without ".sqlite"
  Statement select;
  Statement upsert;
  Statement remove;
  Statement removeAll;
  Statement keys;
  Statement begin;
  Statement commit;
  Statement rollback;

  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  ~Connection() {
    // A copy inherited across fork() is left alone: closing it would checkpoint and
    // remove the WAL under the feet of the process that opened it.
    if (getpid() != owner) {
      for (Statement* statement : statements()) statement->release();
      return;
    }
    close();
  }

  std::array<Statement*, 8> statements() {
    return {&select, &upsert, &remove, &removeAll, &keys, &begin, &commit, &rollback};
  }

  void close() {
    for (Statement* statement : statements()) statement->reset();
    sqlite3_close(std::exchange(db, nullptr));
  }

  // Closes the connection of a suite file that was removed or replaced on disk. Without
  // a checkpoint, so that closing cannot remove the -wal and -shm files that a new
  // database of the same name may be using by now; and at once, so that this process
  // never maps one -shm file through two connections. Handles on it fail from now on.
  void retire() {
    const std::lock_guard lock(mutex);
    if (db == nullptr) return;
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    close();
  }

  std::string message() const { return db == nullptr ? std::string(kRetiredMessage) : std::string(sqlite3_errmsg(db)); }

  // Ends an open transaction after a failure; harmless when none is open.
  void rollBackIfOpen() {
    if (db != nullptr && sqlite3_get_autocommit(db) == 0) {
      const StatementUse use(rollback);
      sqlite3_step(use.get());
    }
  }
};

namespace {

using Connection = UserDefaults::Connection;

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
bool hasSuiteShape(sqlite3* db) {
  for (const char* sql : {kSelectSql, kUpsertSql}) {
    sqlite3_stmt* probe = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql, -1, &probe, nullptr);
    sqlite3_finalize(probe);
    if (rc != SQLITE_OK) return false;
  }
  return true;
}

bool prepare(sqlite3* db, const char* sql, Statement& into) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  into = Statement(raw);
  return rc == SQLITE_OK && raw != nullptr;
}

// Whether the file at `path` is missing, empty, or starts with SQLite's header text.
// SQLite itself reads a one-byte file as an empty database, and a suite would then be
// written over it.
bool mayBeADatabase(const fs::path& path) {
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

// Opens the suite file at `path`, or none when it cannot be used as a suite. Everything
// that could tell a foreign or damaged file runs before the first write to it.
std::shared_ptr<Connection> openConnection(const fs::path& path) {
  if (!mayBeADatabase(path)) return nullptr;
  // SQLite's own bookkeeping of memory in use takes a lock on every allocation; nothing
  // here reads it. Set once, before SQLite starts (later it is refused, harmlessly).
  static const int unusedStatus = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  static_cast<void>(unusedStatus);
  sqlite3* db = nullptr;
  // Without SQLite's per-call locking: every use of a connection holds its own mutex.
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
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
  if (*objects != "0" &&
      (!singleText(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'entries'") ||
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

  auto connection = std::make_shared<Connection>();
  connection->db = db;
  connection->owner = currentProcess();
  const bool prepared = prepare(db, kSelectSql, connection->select) && prepare(db, kUpsertSql, connection->upsert) &&
                        prepare(db, "DELETE FROM entries WHERE key = ?1", connection->remove) &&
                        prepare(db, "DELETE FROM entries", connection->removeAll) &&
                        prepare(db, "SELECT key FROM entries ORDER BY key", connection->keys) &&
                        prepare(db, "BEGIN IMMEDIATE", connection->begin) &&
                        prepare(db, "COMMIT", connection->commit) && prepare(db, "ROLLBACK", connection->rollback);
  struct stat info {};
  if (!prepared || ::stat(path.c_str(), &info) != 0) return nullptr;  // the destructor closes
  connection->device = info.st_dev;
  connection->inode = info.st_ino;
  return connection;
}

// The process's connections, by suite file path.
//
// make() must notice a suite file that was removed, replaced or moved since its
// connection was opened. Looking the path up again is a stat, which cost more than the
// rest of a read of a preference; so a process that keeps using a suite has the
// connection's folder watched with inotify, and the path is looked up only after an
// event names the file or the folder itself. The watch starts only after a few
// lookups: releasing an inotify instance makes the kernel wait for a grace period, and
// that added milliseconds to the exit of every short-lived process (a `widget-host
// timeline`, a defaults command) that opened a suite once or twice. Where inotify cannot
// be used (no instance, no watch left, a suite file that is a symbolic link), every
// make() looks the path up. Folders above the suite's folder are not watched: renaming
// one of them is not noticed once the watch has started.
struct Registry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<Connection>, std::less<>> connections;
  // The last suite path resolved from an absolute folder, which resolves the same way
  // every time: resolving it again took more than the rest of make()'s common case.
  std::string lastFolder;
  std::string lastSuite;
  std::string lastPath;
  // This process's inotify instance, or -1. One inherited across fork() shares its
  // events with the parent, so a child makes its own.
  int notifier = -1;
  pid_t notifierOwner = 0;

  static constexpr std::uint32_t kFolderEvents =
      IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

  // A watch on the folder of the suite file at `path` (absolute), or -1.
  int watchFolder(const std::string& path) {
    if (notifierOwner != currentProcess()) {
      if (notifier >= 0) ::close(notifier);
      notifier = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      notifierOwner = currentProcess();
    }
    struct stat info {};
    if (notifier < 0 || (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))) return -1;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    return inotify_add_watch(notifier, folder.c_str(), kFolderEvents);
  }

  // Reads the events queued since the last look and marks the connections they may
  // concern. Any failure to read marks every connection and stops watching.
  void noticeChanges() {
    if (notifier < 0 || notifierOwner != currentProcess()) return;
    alignas(inotify_event) std::array<char, 4096> buffer;
    for (;;) {
      const ssize_t got = ::read(notifier, buffer.data(), buffer.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && errno == EAGAIN) return;
      if (got <= 0) {
        ::close(std::exchange(notifier, -1));
        for (auto& entry : connections) {
          entry.second->watch = -1;
          entry.second->mayHaveChanged = true;
        }
        return;
      }
      for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(got);) {
        inotify_event event{};
        std::memcpy(&event, buffer.data() + at, sizeof event);
        // The name is padded with NULs to the event's length.
        const std::string_view name =
            event.len == 0 ? std::string_view() : std::string_view(buffer.data() + at + sizeof event);
        const bool overflow = (event.mask & IN_Q_OVERFLOW) != 0;  // events were lost: any may apply
        for (auto& entry : connections) {
          Connection& connection = *entry.second;
          if (!overflow && connection.watch != event.wd) continue;
          if (overflow || name.empty() || name == connection.fileName) connection.mayHaveChanged = true;
          if ((event.mask & IN_IGNORED) != 0) connection.watch = -1;  // the folder is gone
        }
        at += sizeof event + event.len;
      }
    }
  }
};

Registry& registry() {
  static Registry instance;
  return instance;
}

}  // namespace

// ---- UserDefaults ----

UserDefaults::UserDefaults(std::shared_ptr<Connection> connection) : connection_(std::move(connection)) {}

const std::string& UserDefaults::suiteName() const { return connection_->suiteName; }

namespace {

// The preferences folder as text. make() works on text: building a filesystem::path
// splits it into its components, which cost more than the rest of make()'s common case.
std::string preferencesFolderText() {
  if (const char* folder = std::getenv(kPreferencesVariable); folder && *folder) return folder;
  // The XDG rules say a relative XDG_DATA_HOME is to be ignored.
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
    return (fs::path(data) / "widget-platform" / "preferences").native();
  }
  fs::path home;
  if (const char* variable = std::getenv("HOME"); variable && *variable) {
    home = variable;
  } else if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
    home = entry->pw_dir;
  }
  return (home / ".local" / "share" / "widget-platform" / "preferences").native();
}

}  // namespace

fs::path UserDefaults::preferencesFolder() { return fs::path(preferencesFolderText()); }

fs::path UserDefaults::suitePath(std::string_view suiteName) {
  return preferencesFolder() / (std::string(suiteName) + std::string(kSuiteExtension));
}

std::optional<UserDefaults> UserDefaults::make(std::string_view suiteName) {
  // The folder the environment names, the common case, is compared without a copy.
  if (const char* folder = std::getenv(kPreferencesVariable); folder && *folder) {
    return makeInFolder(suiteName, folder);
  }
  return makeInFolder(suiteName, preferencesFolderText());
}

std::optional<UserDefaults> UserDefaults::make(std::string_view suiteName, const fs::path& folder) {
  return makeInFolder(suiteName, folder.native());
}

std::optional<UserDefaults> UserDefaults::makeInFolder(std::string_view suiteName, std::string_view folder) {
  if (!isValidSuiteName(suiteName) || folder.empty()) return std::nullopt;
  Registry& shared = registry();
  const std::lock_guard lock(shared.mutex);
  const bool absolute = folder.front() == '/';
  if (!absolute || folder != shared.lastFolder || suiteName != shared.lastSuite) {
    std::error_code error;
    const fs::path path =
        fs::absolute(fs::path(folder) / (std::string(suiteName) + std::string(kSuiteExtension)), error);
    if (error) return std::nullopt;
    // A relative folder resolves against the working directory, which may change: only
    // an absolute one is kept.
    shared.lastFolder = absolute ? folder : std::string_view();
    shared.lastSuite = suiteName;
    shared.lastPath = path.lexically_normal().native();
  }
  const std::string& path = shared.lastPath;

  // The common case, an open connection to an unchanged file, costs a read of the
  // folder events that finds none (or one stat where the folder is not watched): the
  // folder is made and checked only when a connection must be opened.
  const auto found = shared.connections.find(path);
  if (found != shared.connections.end()) {
    Connection& cached = *found->second;
    // A connection opened by the parent of a fork is merely dropped (see ~Connection).
    if (cached.owner == currentProcess()) {
      if (!cached.watchTried && ++cached.lookups > kLookupsBeforeWatching) {
        cached.watchTried = true;
        cached.watch = shared.watchFolder(path);
        cached.mayHaveChanged = true;  // looked up once more below, now that the watch is in place
      }
      shared.noticeChanges();
      if (cached.watch >= 0 && !cached.mayHaveChanged) return UserDefaults(found->second);
      struct stat info {};
      if (::stat(path.c_str(), &info) == 0 && info.st_dev == cached.device && info.st_ino == cached.inode) {
        cached.mayHaveChanged = false;
        return UserDefaults(found->second);
      }
      cached.retire();
    }
    shared.connections.erase(found);
  }
  std::error_code error;
  const fs::path folderPath = fs::path(path).parent_path();
  fs::create_directories(folderPath, error);
  if (error || !fs::is_directory(folderPath, error)) return std::nullopt;
  auto connection = openConnection(path);
  if (!connection) return std::nullopt;
  connection->fileName = fs::path(path).filename().native();
  connection->suiteName = suiteName;
  shared.connections.emplace(path, connection);
  return UserDefaults(std::move(connection));
}

std::optional<PropertyValue> UserDefaults::object(std::string_view key) const {
  if (keyProblem(key)) return std::nullopt;
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  if (connection.db == nullptr) return std::nullopt;
  const StatementUse use(connection.select);
  if (bindText(use.get(), 1, key) != SQLITE_OK || sqlite3_step(use.get()) != SQLITE_ROW) return std::nullopt;
  return decodeRow(use.get(), 0, 1);
}

namespace {

DefaultsError errorFor(DefaultsError::Code code, const std::string& suite, std::string_view key,
                       const std::string& reason) {
  return DefaultsError{code, "suite " + inQuotes(suite) + ", key " + inQuotes(key) + ": " + reason};
}

DefaultsError retiredError(const std::string& suite, std::string_view key) {
  return errorFor(DefaultsError::Code::storageFailed, suite, key, std::string(kRetiredMessage));
}

// Checks and encodes a value for writing under `key`.
std::expected<Encoded, DefaultsError> prepareWrite(const PropertyValue& value, std::string_view key,
                                                   const std::string& suite) {
  if (auto problem = keyProblem(key)) {
    return std::unexpected(errorFor(DefaultsError::Code::invalidKey, suite, key, *problem));
  }
  auto encoded = encode(value);
  if (!encoded) {
    return std::unexpected(
        errorFor(DefaultsError::Code::unsupportedValue, suite, key,
                 "cannot store the " + std::string(kindName(value.kind())) + " value: " + encoded.error()));
  }
  if (encoded->storedBytes() > UserDefaults::kMaxValueBytes) {
    return std::unexpected(errorFor(DefaultsError::Code::valueTooLarge, suite, key,
                                    "the value takes " + std::to_string(encoded->storedBytes()) +
                                        " bytes, more than the limit of " +
                                        std::to_string(UserDefaults::kMaxValueBytes)));
  }
  return std::move(*encoded);
}

// Writes one row; the caller holds the connection's mutex.
int writeRow(Connection& connection, std::string_view key, PropertyKind kind, const Encoded& value) {
  const StatementUse use(connection.upsert);
  int rc = bindText(use.get(), 1, key);
  if (rc == SQLITE_OK) rc = bindText(use.get(), 2, kindName(kind));
  if (rc == SQLITE_OK) rc = bindValue(use.get(), 3, value);
  if (rc == SQLITE_OK) rc = sqlite3_step(use.get());
  return rc == SQLITE_DONE ? SQLITE_OK : (rc == SQLITE_OK ? SQLITE_ERROR : rc);
}

}  // namespace

std::expected<void, DefaultsError> UserDefaults::set(const PropertyValue& value, std::string_view key) {
  auto encoded = prepareWrite(value, key, connection_->suiteName);
  if (!encoded) return std::unexpected(std::move(encoded.error()));
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  if (connection.db == nullptr) return std::unexpected(retiredError(connection_->suiteName, key));
  if (writeRow(connection, key, value.kind(), *encoded) != SQLITE_OK) {
    const std::string reason = "could not write the value: " + connection.message();
    connection.rollBackIfOpen();
    return std::unexpected(errorFor(DefaultsError::Code::storageFailed, connection_->suiteName, key, reason));
  }
  return {};
}

std::expected<bool, DefaultsError> UserDefaults::setIfUnchanged(const PropertyValue& value, std::string_view key,
                                                                const std::optional<PropertyValue>& expected) {
  auto encoded = prepareWrite(value, key, connection_->suiteName);
  if (!encoded) return std::unexpected(std::move(encoded.error()));
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  if (connection.db == nullptr) return std::unexpected(retiredError(connection_->suiteName, key));
  const auto fail = [&](std::string_view what) {
    const std::string reason = std::string(what) + ": " + connection.message();
    connection.rollBackIfOpen();
    return std::unexpected(errorFor(DefaultsError::Code::storageFailed, connection_->suiteName, key, reason));
  };

  // IMMEDIATE takes the write lock up front, so no other writer slips in between the
  // read and the write (and no deadlock arises from upgrading a read lock).
  {
    const StatementUse use(connection.begin);
    if (sqlite3_step(use.get()) != SQLITE_DONE) return fail("could not start a transaction");
  }
  std::optional<PropertyValue> current;
  {
    const StatementUse use(connection.select);
    const int rc = bindText(use.get(), 1, key) == SQLITE_OK ? sqlite3_step(use.get()) : SQLITE_ERROR;
    if (rc == SQLITE_ROW) {
      // A row that does not decode reads as none here, as it does through object().
      current = decodeRow(use.get(), 0, 1);
    } else if (rc != SQLITE_DONE) {
      return fail("could not read the current value");
    }
  }
  if (current != expected) {
    connection.rollBackIfOpen();
    return false;
  }
  if (writeRow(connection, key, value.kind(), *encoded) != SQLITE_OK) return fail("could not write the value");
  {
    const StatementUse use(connection.commit);
    if (sqlite3_step(use.get()) != SQLITE_DONE) return fail("could not commit the value");
  }
  return true;
}

std::expected<void, DefaultsError> UserDefaults::removeObject(std::string_view key) {
  if (auto problem = keyProblem(key)) {
    return std::unexpected(errorFor(DefaultsError::Code::invalidKey, connection_->suiteName, key, *problem));
  }
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  if (connection.db == nullptr) return std::unexpected(retiredError(connection_->suiteName, key));
  const StatementUse use(connection.remove);
  if (bindText(use.get(), 1, key) != SQLITE_OK || sqlite3_step(use.get()) != SQLITE_DONE) {
    const std::string reason = "could not remove the value: " + connection.message();
    connection.rollBackIfOpen();
    return std::unexpected(errorFor(DefaultsError::Code::storageFailed, connection_->suiteName, key, reason));
  }
  return {};
}

std::expected<void, DefaultsError> UserDefaults::removeAll() {
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  const StatementUse use(connection.removeAll);
  if (connection.db == nullptr || sqlite3_step(use.get()) != SQLITE_DONE) {
    const std::string reason = "suite " + inQuotes(connection_->suiteName) + ": could not remove all keys: " + connection.message();
    connection.rollBackIfOpen();
    return std::unexpected(DefaultsError{DefaultsError::Code::storageFailed, reason});
  }
  return {};
}

std::vector<std::string> UserDefaults::keys() const {
  Connection& connection = *connection_;
  const std::lock_guard lock(connection.mutex);
  if (connection.db == nullptr) return {};
  const StatementUse use(connection.keys);
  std::vector<std::string> result;
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(use.get())) == SQLITE_ROW) {
    const void* text = sqlite3_column_blob(use.get(), 0);
    const int length = sqlite3_column_bytes(use.get(), 0);
    result.emplace_back(text == nullptr
                            ? std::string()
                            : std::string(static_cast<const char*>(text), static_cast<std::size_t>(length)));
  }
  if (rc != SQLITE_DONE) return {};  // a failed read lists nothing rather than a part
  return result;
}

}  // namespace foundation
