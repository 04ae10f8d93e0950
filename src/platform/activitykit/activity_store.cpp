#include "platform/activitykit/activity_store.h"

#include <cstdint>

#include "platform/foundation/preferences_location.h"
#include "platform/foundation/sqlite_statement.h"

namespace activitykit {

namespace fs = std::filesystem;
using foundation::Date;
using foundation::suite::bindText;
using foundation::suite::Statement;

namespace {

constexpr int kBusyTimeoutMilliseconds = 10000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS activities ("
    " id TEXT PRIMARY KEY, attributes_type TEXT NOT NULL, attributes BLOB NOT NULL, state BLOB NOT NULL,"
    " started_at INTEGER NOT NULL, content_timestamp INTEGER NOT NULL, stale_date INTEGER, relevance REAL,"
    " ended_at INTEGER, dismissal TEXT NOT NULL)";
constexpr const char* kColumns =
    "id, attributes_type, attributes, state, started_at, content_timestamp, stale_date, relevance, ended_at, "
    "dismissal";

std::int64_t micros(Date date) { return date.timePoint().time_since_epoch().count(); }
Date fromMicros(std::int64_t value) { return Date(Date::TimePoint(std::chrono::microseconds(value))); }

void bindDate(sqlite3_stmt* statement, int index, const std::optional<Date>& date) {
  if (date) {
    sqlite3_bind_int64(statement, index, micros(*date));
  } else {
    sqlite3_bind_null(statement, index);
  }
}

std::string columnText(sqlite3_stmt* statement, int column) {
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
  return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) : "";
}

std::optional<Date> columnDate(sqlite3_stmt* statement, int column) {
  if (sqlite3_column_type(statement, column) == SQLITE_NULL) return std::nullopt;
  return fromMicros(sqlite3_column_int64(statement, column));
}

ActivityRecord readRow(sqlite3_stmt* statement) {
  ActivityRecord record;
  record.id = foundation::UUID::parse(columnText(statement, 0)).value_or(record.id);
  record.attributesType = columnText(statement, 1);
  record.attributes = columnText(statement, 2);
  record.state = columnText(statement, 3);
  record.startedAt = fromMicros(sqlite3_column_int64(statement, 4));
  record.contentTimestamp = fromMicros(sqlite3_column_int64(statement, 5));
  record.staleDate = columnDate(statement, 6);
  if (sqlite3_column_type(statement, 7) != SQLITE_NULL) record.relevanceScore = sqlite3_column_double(statement, 7);
  record.endedAt = columnDate(statement, 8);
  record.dismissal = parseDismissalPolicy(columnText(statement, 9)).value_or(DismissalPolicy{});
  return record;
}

}  // namespace

fs::path ActivityStore::defaultPath() {
  return fs::path(foundation::preferencesFolderText()).parent_path() / "activities.sqlite";
}

std::expected<ActivityStore, StoreError> ActivityStore::open(const fs::path& file) {
  const auto cannot = [&](const std::string& why) {
    return std::unexpected(
        StoreError{StoreError::Kind::cannotOpen, "cannot open the activity store \"" + file.string() + "\": " + why});
  };
  std::error_code error;
  fs::create_directories(file.parent_path(), error);
  const fs::file_status status = fs::status(file, error);
  if (fs::exists(status) && !fs::is_regular_file(status)) return cannot("it is not a regular file");
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, Closer> db(raw);
  if (opened != SQLITE_OK) return cannot(raw ? sqlite3_errmsg(raw) : "out of memory");
  sqlite3_busy_timeout(raw, kBusyTimeoutMilliseconds);
  if (foundation::suite::singleText(raw, "PRAGMA journal_mode = WAL") != "wal" ||
      sqlite3_exec(raw, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    return cannot(sqlite3_errmsg(raw));
  }
  return ActivityStore(std::move(db), file);
}

StoreError ActivityStore::failure(const std::string& what) const {
  return StoreError{StoreError::Kind::failed,
                    "the activity store \"" + file_.string() + "\": " + what + ": " + sqlite3_errmsg(db_.get())};
}

std::expected<void, StoreError> ActivityStore::write(const ActivityRecord& record, bool replace) {
  // A change updates the row in place, so that the list keeps the order of starting.
  std::string sql = std::string("INSERT INTO activities (") + kColumns + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
  if (replace) {
    sql +=
        " ON CONFLICT(id) DO UPDATE SET attributes_type = excluded.attributes_type, attributes = "
        "excluded.attributes, state = excluded.state, started_at = excluded.started_at, content_timestamp = "
        "excluded.content_timestamp, stale_date = excluded.stale_date, relevance = excluded.relevance, ended_at = "
        "excluded.ended_at, dismissal = excluded.dismissal";
  }
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    return std::unexpected(failure("cannot write"));
  }
  const Statement statement(raw);
  const std::string id = record.id.uuidString();
  const std::string dismissal = describe(record.dismissal);
  bindText(raw, 1, id);
  bindText(raw, 2, record.attributesType);
  sqlite3_bind_blob64(raw, 3, foundation::suite::nonNull(record.attributes), record.attributes.size(), nullptr);
  sqlite3_bind_blob64(raw, 4, foundation::suite::nonNull(record.state), record.state.size(), nullptr);
  sqlite3_bind_int64(raw, 5, micros(record.startedAt));
  sqlite3_bind_int64(raw, 6, micros(record.contentTimestamp));
  bindDate(raw, 7, record.staleDate);
  if (record.relevanceScore) {
    sqlite3_bind_double(raw, 8, *record.relevanceScore);
  } else {
    sqlite3_bind_null(raw, 8);
  }
  bindDate(raw, 9, record.endedAt);
  bindText(raw, 10, dismissal);
  if (sqlite3_step(raw) != SQLITE_DONE) return std::unexpected(failure("cannot write"));
  return {};
}

std::expected<void, StoreError> ActivityStore::insert(const ActivityRecord& record) { return write(record, false); }

std::expected<ActivityRecord, StoreError> ActivityStore::find(const foundation::UUID& id) {
  const std::string sql = std::string("SELECT ") + kColumns + " FROM activities WHERE id = ?";
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    return std::unexpected(failure("cannot read"));
  }
  const Statement statement(raw);
  const std::string text = id.uuidString();
  bindText(raw, 1, text);
  const int stepped = sqlite3_step(raw);
  if (stepped == SQLITE_ROW) return readRow(raw);
  if (stepped == SQLITE_DONE) {
    return std::unexpected(StoreError{StoreError::Kind::notFound, "no activity " + text + " in the store"});
  }
  return std::unexpected(failure("cannot read"));
}

std::expected<std::vector<ActivityRecord>, StoreError> ActivityStore::all() {
  const std::string sql = std::string("SELECT ") + kColumns + " FROM activities ORDER BY started_at, rowid";
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    return std::unexpected(failure("cannot read"));
  }
  const Statement statement(raw);
  std::vector<ActivityRecord> records;
  int stepped = SQLITE_ROW;
  while ((stepped = sqlite3_step(raw)) == SQLITE_ROW) records.push_back(readRow(raw));
  if (stepped != SQLITE_DONE) return std::unexpected(failure("cannot read"));
  return records;
}

std::expected<ChangeResult, StoreError> ActivityStore::modify(
    const foundation::UUID& id, const std::function<ChangeResult(const ActivityRecord&)>& change) {
  if (sqlite3_exec(db_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return std::unexpected(failure("cannot begin a change"));
  }
  const auto rollBack = [&](auto result) {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    return result;
  };
  auto record = find(id);
  if (!record) return rollBack(std::expected<ChangeResult, StoreError>(std::unexpected(record.error())));
  ChangeResult result = change(*record);
  if (!result) return rollBack(std::expected<ChangeResult, StoreError>(std::move(result)));
  if (auto written = write(*result, true); !written) {
    return rollBack(std::expected<ChangeResult, StoreError>(std::unexpected(written.error())));
  }
  if (sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return rollBack(std::expected<ChangeResult, StoreError>(std::unexpected(failure("cannot commit"))));
  }
  return result;
}

}  // namespace activitykit
