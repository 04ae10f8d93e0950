// Hardening test support: round counts and seeds from the environment, reading the
// shared suite from outside the process's own connection cache, and forked children
// that run a piece of a test in a process of its own, so that it can lose privileges,
// live under a file size limit or in its own mount namespace, open the suite without
// the test's cached connection, stand in for the host app or another extension
// writing the suite, or crash or be killed without taking the test with it.
//
// The tests run a short version by default, to keep the suite fast; the environment
// asks for longer ones (TUL_CRASH_ROUNDS=5000 ...). Every randomised test prints its
// seed, and TUL_HARDENING_SEED replays one.
#pragma once

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace tul::hardening {

// The positive integer in the environment variable `name`, else `fallback`.
inline long countFromEnvironment(const char* name, long fallback) {
  const char* text = std::getenv(name);
  char* end = nullptr;
  const long value = text ? std::strtol(text, &end, 10) : 0;
  return end != text && *end == '\0' && value > 0 ? value : fallback;
}

// The seed for a randomised test: TUL_HARDENING_SEED when set, else a fresh one.
inline unsigned hardeningSeed() {
  return static_cast<unsigned>(countFromEnvironment("TUL_HARDENING_SEED", std::random_device{}()));
}

// The data value stored under `key`, read straight from the file through a read-only
// SQLite connection of its own, closed again at once. None when the file, the table or
// the row is missing or unreadable, or the row holds another kind of value.
inline std::optional<std::string> readRawData(const std::filesystem::path& file, std::string_view key) {
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  std::optional<std::string> value;
  // Closing must not checkpoint: the reader changes nothing on disk.
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "SELECT value FROM entries WHERE key = ?1 AND kind = 'data'", -1, &statement, nullptr) ==
          SQLITE_OK &&
      sqlite3_bind_text(statement, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 0));
    value = bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, 0))) : "";
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return value;
}

// Writes all of `text` to `fd` (a blocking write to a pipe returns once all is written).
inline bool say(int fd, const std::string& text) {
  return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// The next line from `stream` without its '\n'; none at its end.
inline std::optional<std::string> readLine(std::FILE* stream) {
  std::string line;
  for (int c = 0; (c = std::fgetc(stream)) != '\n'; line += static_cast<char>(c)) {
    if (c == EOF) return std::nullopt;
  }
  return line;
}

// A forked child and the read end of the pipe it writes to.
struct Forked {
  pid_t pid = -1;
  std::FILE* output = nullptr;
};

// Runs `body(fd)` in a forked child that leaves through _exit, so nothing of the test's
// state is torn down twice. The child may write lines to `fd`, the write end of the
// pipe; the string it returns follows them (an exception's message too), and what it
// printed is flushed. Once the test stops reading, the child's next write ends it.
inline Forked startForked(const std::function<std::string(int fd)>& body) {
  int channel[2];
  if (::pipe(channel) != 0) return {};
  std::fflush(nullptr);  // or the child would write the test's buffered output again
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    std::string report;
    try {
      report = body(channel[1]);
    } catch (const std::exception& error) {
      report = std::string("exception: ") + error.what();
    }
    const bool said = say(channel[1], report);
    std::fflush(nullptr);
    ::_exit(said ? 0 : 1);
  }
  ::close(channel[1]);
  return {child, ::fdopen(channel[0], "r")};
}

struct ChildOutcome {
  int status = -1;     // as waitpid gives it; -1 when the child could not be started
  std::string report;  // what the child's body returned: empty when all was well

  bool exited() const { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
  bool clean() const { return exited() && report.empty(); }
  std::string describe() const { return exited() ? report : "the child failed, wait status " + std::to_string(status); }
};

// Runs `body` in a forked child (startForked) and waits for it and for its report.
inline ChildOutcome runForked(const std::function<std::string()>& body) {
  const Forked child = startForked([&](int) { return body(); });
  ChildOutcome outcome;
  if (child.output == nullptr) return outcome;
  for (int c = 0; (c = std::fgetc(child.output)) != EOF;) outcome.report += static_cast<char>(c);
  std::fclose(child.output);
  if (child.pid > 0) ::waitpid(child.pid, &outcome.status, 0);
  return outcome;
}

}  // namespace tul::hardening
