// SQLite statements for the suite store: a prepared statement that is finalized with
// its owner, the scoped use of a cached one, binding text without copying it, and
// one-shot queries.
//
// Promises: a StatementUse leaves its statement reset and without bindings when it
// ends, so that values bound without a copy may go away afterwards and the next use
// starts clean. A use of no statement (a connection that was closed) does nothing and
// every step or bind through it fails with SQLITE_MISUSE.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace foundation::suite {

// A prepared statement, finalized with its owner. One made by onFirstUse() is prepared
// when it is first asked for, so that a process pays only for the statements it runs;
// when that preparation fails, it has no statement.
class Statement {
 public:
  Statement() = default;
  explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
  // `sql` must outlive the statement (a literal); `db` must outlive its uses.
  static Statement onFirstUse(sqlite3* db, const char* sql) {
    Statement statement;
    statement.db_ = db;
    statement.sql_ = sql;
    return statement;
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(Statement&& other) noexcept
      : statement_(std::exchange(other.statement_, nullptr)),
        db_(std::exchange(other.db_, nullptr)),
        sql_(std::exchange(other.sql_, nullptr)) {}
  Statement& operator=(Statement&& other) noexcept {
    std::swap(statement_, other.statement_);
    std::swap(db_, other.db_);
    std::swap(sql_, other.sql_);
    return *this;
  }
  sqlite3_stmt* get() const {
    if (statement_ == nullptr && sql_ != nullptr) prepare();
    return statement_;
  }

  // Finalizes now (a connection closes only once its statements are finalized); it is
  // not prepared again.
  void reset() {
    sql_ = nullptr;
    sqlite3_finalize(std::exchange(statement_, nullptr));
  }
  // Forgets the statement without finalizing it.
  void release() {
    sql_ = nullptr;
    statement_ = nullptr;
  }

 private:
  // Prepares sql_ for repeated use, once.
  void prepare() const;

  mutable sqlite3_stmt* statement_ = nullptr;
  sqlite3* db_ = nullptr;
  mutable const char* sql_ = nullptr;
};

// While alive, a cached statement is in use; at the end it is reset and its bindings
// dropped.
class StatementUse {
 public:
  explicit StatementUse(const Statement& statement) : statement_(statement.get()) {}
  ~StatementUse() {
    if (statement_ == nullptr) return;
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
inline const char* nonNull(std::string_view bytes) { return bytes.empty() ? "" : bytes.data(); }

// Binds `text` without a copy: it must outlive the statement's use.
inline int bindText(sqlite3_stmt* statement, int index, std::string_view text) {
  return sqlite3_bind_text64(statement, index, nonNull(text), text.size(), nullptr, SQLITE_UTF8);
}

// Whether `sql` prepares on `db` (the tables and columns it names exist).
bool compiles(sqlite3* db, const char* sql);

// Runs a statement that returns at most one row of one text column and gives that text,
// or none on an error or when there is no row.
std::optional<std::string> singleText(sqlite3* db, const char* sql);

}  // namespace foundation::suite
