// Atomic file: writes a whole file or nothing. The bytes go to a temporary file beside
// the target (".<name>.XXXXXX"), are flushed to disk, and the temporary file is then
// renamed onto the target, so a reader sees either the old file or the complete new
// one, and a failure leaves no partial file behind.
//
// With Overwrite::refuse an existing target is never replaced: the rename itself
// refuses (renameat2 with RENAME_NOREPLACE, or link and unlink where the file system
// lacks it), so there is no window in which another writer's file could be lost. With
// Overwrite::replace only a regular file (or a symbolic link, which is replaced
// itself) is replaced: a FIFO, socket or device node in the way is left alone.
//
// StagedFile splits the two steps, so that a set of files can be written in full
// before any of them is put in place. A set's files can be written with only their
// write-back started (Flush::started) and each synced with flush() once all are
// written: the disk then takes the set's data at once, and the syncs wait for fewer
// journal commits than a sync after each write would. commit() syncs a file that is not
// synced yet, so nothing unsynced is ever put in place.
#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

namespace foundation {

enum class Overwrite { refuse, replace };

// Whether StagedFile::write() syncs the file to disk before it returns (now), or only
// starts its write-back and leaves the sync to flush() or commit() (started).
enum class Flush { now, started };

// New content for `target()`, written and flushed beside it but not yet in place. The
// temporary file is removed unless commit() put it in place.
class StagedFile {
 public:
  // Writes `bytes` beside `target`; the error names the file and the system's reason.
  static std::expected<StagedFile, std::string> write(const std::filesystem::path& target, std::string_view bytes,
                                                      Flush flush = Flush::now);

  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&&) = delete;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile();

  // Syncs the written file to disk, if it is not yet; the error names the file.
  std::expected<void, std::string> flush();

  // Puts the new content in place of the target, synced first if need be.
  std::expected<void, std::string> commit(Overwrite overwrite);

  const std::filesystem::path& target() const { return target_; }

 private:
  StagedFile(std::filesystem::path target, std::string temporary)
      : target_(std::move(target)), temporary_(std::move(temporary)) {}
  std::filesystem::path target_;
  std::string temporary_;  // empty once committed
  int fd_ = -1;            // open from write() with Flush::started until flush()
  bool synced_ = false;
};

// Writes `bytes` to `target` in one step: StagedFile::write, then commit, with SIGINT
// and SIGTERM held meanwhile (held_signals.h), so that no temporary file outlives them.
std::expected<void, std::string> writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                                     Overwrite overwrite);

}  // namespace foundation
