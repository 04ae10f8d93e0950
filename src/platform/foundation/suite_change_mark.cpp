#include "platform/foundation/suite_change_mark.h"

#include <atomic>
#include <cstddef>
#include <cstring>

namespace foundation::suite {
namespace {

// The index is mapped in regions of 32 KiB; the header opens the first.
constexpr int kIndexRegionBytes = 32 * 1024;
// The byte of each header copy that is non-zero once the header has been written.
constexpr std::size_t kInitializedByte = 12;

}  // namespace

std::optional<ChangeMark> readChangeMark(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr ||
      file->pMethods == nullptr || file->pMethods->iVersion < 2 || file->pMethods->xShmMap == nullptr) {
    return std::nullopt;
  }
  // Gives the region SQLite has mapped for this file; with bExtend 0 it never grows it.
  void volatile* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, kIndexRegionBytes, 0, &region) != SQLITE_OK || region == nullptr) {
    return std::nullopt;
  }
  const auto* copies = static_cast<const volatile unsigned char*>(region);
  ChangeMark first;
  ChangeMark second;
  constexpr std::size_t kBytes = first.header.size();
  // In the order SQLite's readers use, against the writer's reverse order.
  for (std::size_t i = 0; i < kBytes; ++i) first.header[i] = copies[i];
  std::atomic_thread_fence(std::memory_order_seq_cst);
  for (std::size_t i = 0; i < kBytes; ++i) second.header[i] = copies[kBytes + i];
  if (first != second || first.header[kInitializedByte] == 0) return std::nullopt;
  return first;
}

}  // namespace foundation::suite
