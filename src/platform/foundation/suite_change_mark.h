// suite::ChangeMark: where a suite file stands in its history of committed changes, as
// the index of its write-ahead log says, read without a lock or a system call.
//
// SQLite keeps a header in the log's index (the -shm file, mapped by every connection)
// that it rewrites on every commit: a counter of transactions, the last frame of the
// log, and the log's salt values, which change whenever the log starts over after a
// checkpoint. Readers take their snapshot from this header. It is written twice, the
// second copy first, so a reader that finds both copies equal has read a whole one.
//
// Promises:
// - Two marks read through one connection are equal only if no transaction was
//   committed to the suite between the two reads.
// - None when the connection's suite is not in WAL mode with its index mapped, or when
//   the header was being rewritten as it was read. The caller then reads through SQLite.
#pragma once

#include <sqlite3.h>

#include <array>
#include <optional>

namespace foundation::suite {

struct ChangeMark {
  std::array<unsigned char, 48> header{};
  friend bool operator==(const ChangeMark&, const ChangeMark&) = default;
};

// The mark of the main database of `db`, which must be in WAL mode: asking for the
// index of a connection in another journal mode would make SQLite open one.
std::optional<ChangeMark> readChangeMark(sqlite3* db);

}  // namespace foundation::suite
