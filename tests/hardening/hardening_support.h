// Hardening test support: round counts and seeds from the environment, reading the
// shared suite from outside the process's own connection cache, and forked children
// that run a piece of a test in a process of its own, so that it can lose privileges,
// live under a file size limit or in its own mount namespace, open the suite without
// the test's cached connection, or crash without taking the test with it.
//
// The tests run a short version by default, to keep the suite fast; the environment
// asks for longer ones (TUL_CRASH_ROUNDS=5000 ...). Every randomised test prints its
// seed, and TUL_HARDENING_SEED replays one.
#pragma once

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>

namespace tul::hardening {

// The positive integer in the environment variable `name`, else `fallback`.
inline long countFromEnvironment(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return end != nullptr && *end == '\0' && value > 0 ? value : fallback;
}

// The seed for a randomised test: TUL_HARDENING_SEED when set, else a fresh one.
inline unsigned hardeningSeed() {
  if (const long seed = countFromEnvironment("TUL_HARDENING_SEED", 0); seed > 0) return static_cast<unsigned>(seed);
  return std::random_device{}();
}

// The stored row under `key` read straight from the file through a read-only SQLite
// connection of its own, closed again at once: `kind` and the value's bytes. None when
// the file, the table or the row is missing or unreadable.
struct RawRow {
  std::string kind;
  std::string bytes;
  friend bool operator==(const RawRow&, const RawRow&) = default;
};

inline std::optional<RawRow> readRawRow(const std::filesystem::path& file, const std::string& key) {
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  std::optional<RawRow> row;
  // Closing must not checkpoint: the reader changes nothing on disk.
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "SELECT kind, value FROM entries WHERE key = ?1", -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_bind_text(statement, 1, key.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    const auto* kind = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 1));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, 1));
    row = RawRow{kind ? kind : "", bytes ? std::string(bytes, size) : std::string()};
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return row;
}

struct ChildOutcome {
  int status = -1;     // as waitpid gives it; -1 when the child could not be started
  std::string report;  // what the child's body returned: empty when all was well

  bool exited() const { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
  bool clean() const { return exited() && report.empty(); }
  std::string describe() const { return exited() ? report : "the child failed, wait status " + std::to_string(status); }
};

// Runs `body` in a forked child that leaves through _exit, so nothing of the test's
// state is torn down twice. The string it returns (empty when all was well) comes
// back as the report; an exception becomes a report too.
inline ChildOutcome runForked(const std::function<std::string()>& body) {
  int channel[2];
  if (::pipe(channel) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    std::string report;
    try {
      report = body();
    } catch (const std::exception& error) {
      report = std::string("exception: ") + error.what();
    }
    // A blocking write to a pipe returns once all of it is written (the parent reads).
    ::_exit(::write(channel[1], report.data(), report.size()) == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  ::close(channel[1]);
  ChildOutcome outcome;
  char buffer[4096];
  for (ssize_t n = 0; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
    outcome.report.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(channel[0]);
  if (child > 0) ::waitpid(child, &outcome.status, 0);
  return outcome;
}

}  // namespace tul::hardening
