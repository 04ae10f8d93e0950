#include "platform/foundation/atomic_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "platform/foundation/held_signals.h"
#include "platform/foundation/write_all.h"

namespace foundation {
namespace {

std::string reason(int error) { return std::strerror(error); }

std::string notFlushed(const std::filesystem::path& target, int error) {
  return target.string() + ": cannot be flushed to disk: " + reason(error);
}

// The temporary name's pattern for a file named `name`: ".<name>.XXXXXX", with the name
// cut short where the whole would pass the longest name a folder may hold.
std::string temporaryName(const std::string& name) {
  constexpr std::size_t kAround = 1 + 7;  // "." and ".XXXXXX"
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a chain of operator+.
  std::string pattern(".");
  pattern.append(name, 0, NAME_MAX - kAround);
  pattern.append(".XXXXXX");
  return pattern;
}

// Why an existing `path` must not be replaced, or none: only a regular file (or a
// symbolic link, which is itself replaced) gives way to a new file.
std::optional<std::string> irreplaceable(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) return std::nullopt;
  return path + ": is not a regular file and is not replaced";
}

}  // namespace

std::expected<StagedFile, std::string> StagedFile::write(const std::filesystem::path& target, std::string_view bytes,
                                                         Flush flush) {
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") {
    return std::unexpected(target.string() + ": not a file name");
  }
  std::error_code error;
  if (std::filesystem::is_directory(target, error)) return std::unexpected(target.string() + ": is a directory");

  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string pattern = (folder / temporaryName(name)).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) {
    return std::unexpected(target.string() + ": cannot create a temporary file in " + folder.string() + ": " +
                           reason(errno));
  }
  StagedFile staged(target, buffer.data());
  const bool written = foundation::writeAll(fd, bytes);
  const int writeError = errno;
  // mkstemp makes the file private; a picture is an ordinary file, readable by all.
  ::fchmod(fd, 0644);
  if (written && flush == Flush::started) {
    // Only a start: whatever fails here fails again, and is reported, in flush(),
    // which syncs and closes the file through the same descriptor.
    static_cast<void>(::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE));
    staged.fd_ = fd;
    return staged;
  }
  const bool synced = written && ::fsync(fd) == 0;
  const int syncError = errno;
  staged.synced_ = synced;
  if (::close(fd) != 0 && synced) return std::unexpected(target.string() + ": cannot be written: " + reason(errno));
  if (!written) return std::unexpected(target.string() + ": cannot be written: " + reason(writeError));
  if (!synced) return std::unexpected(notFlushed(target, syncError));
  return staged;
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, std::string())),
      fd_(std::exchange(other.fd_, -1)),
      synced_(other.synced_) {}

StagedFile::~StagedFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

std::expected<void, std::string> StagedFile::flush() {
  if (synced_ || temporary_.empty()) return {};
  const bool synced = ::fsync(fd_) == 0;
  const int syncError = errno;
  const bool closed = ::close(std::exchange(fd_, -1)) == 0;
  const int closeError = errno;
  if (!synced) return std::unexpected(notFlushed(target_, syncError));
  if (!closed) return std::unexpected(target_.string() + ": cannot be written: " + reason(closeError));
  synced_ = true;
  return {};
}

std::expected<void, std::string> StagedFile::commit(Overwrite overwrite) {
  if (auto flushed = flush(); !flushed) return flushed;
  const std::string destination = target_.string();
  if (overwrite == Overwrite::replace) {
    if (auto refused = irreplaceable(destination)) return std::unexpected(*refused);
    if (::rename(temporary_.c_str(), destination.c_str()) != 0) {
      return std::unexpected(destination + ": cannot be replaced: " + reason(errno));
    }
    temporary_.clear();
    return {};
  }
  if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
    temporary_.clear();
    return {};
  }
  if (errno == EEXIST) return std::unexpected(destination + ": already exists and is not replaced");
  if (errno != EINVAL && errno != ENOSYS) return std::unexpected(destination + ": cannot be written: " + reason(errno));
  // The file system cannot rename without replacing: a hard link refuses an existing name too.
  if (::link(temporary_.c_str(), destination.c_str()) != 0) {
    if (errno == EEXIST) return std::unexpected(destination + ": already exists and is not replaced");
    return std::unexpected(destination + ": cannot be written: " + reason(errno));
  }
  return {};  // the temporary name is removed by the destructor
}

std::expected<void, std::string> writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                                     Overwrite overwrite) {
  // SIGINT and SIGTERM wait until the temporary file is in place or removed.
  const HeldSignals held;
  auto staged = StagedFile::write(target, bytes);
  if (!staged) return std::unexpected(std::move(staged.error()));
  return staged->commit(overwrite);
}

}  // namespace foundation
