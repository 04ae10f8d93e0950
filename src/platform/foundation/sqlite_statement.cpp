#include "platform/foundation/sqlite_statement.h"

namespace foundation::suite {

void Statement::prepare() const {
  const char* sql = std::exchange(sql_, nullptr);
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) != SQLITE_OK) {
    sqlite3_finalize(std::exchange(statement_, nullptr));
  }
}

bool compiles(sqlite3* db, const char* sql) {
  sqlite3_stmt* probe = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql, -1, &probe, nullptr);
  sqlite3_finalize(probe);
  return rc == SQLITE_OK;
}

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

}  // namespace foundation::suite
