#include "platform/foundation/atomic_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/foundation/write_all.h"

namespace foundation {
namespace {

std::string reason(int error) { return std::strerror(error); }

// Removes the temporary file unless told it has been renamed.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }
  void release() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace

std::expected<void, std::string> writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                                     Overwrite overwrite) {
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") {
    return std::unexpected(target.string() + ": not a file name");
  }
  std::error_code error;
  if (std::filesystem::is_directory(target, error)) return std::unexpected(target.string() + ": is a directory");

  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string pattern = (folder / ("." + name + ".XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) {
    return std::unexpected(target.string() + ": cannot create a temporary file in " + folder.string() + ": " +
                           reason(errno));
  }
  TemporaryFile temporary(buffer.data());
  const bool written = foundation::writeAll(fd, bytes);
  const int writeError = errno;
  const bool synced = written && ::fsync(fd) == 0;
  const int syncError = errno;
  // mkstemp makes the file private; a picture is an ordinary file, readable by all.
  ::fchmod(fd, 0644);
  if (::close(fd) != 0 && synced) return std::unexpected(target.string() + ": cannot be written: " + reason(errno));
  if (!written) return std::unexpected(target.string() + ": cannot be written: " + reason(writeError));
  if (!synced) return std::unexpected(target.string() + ": cannot be flushed to disk: " + reason(syncError));

  const std::string destination = target.string();
  if (overwrite == Overwrite::replace) {
    if (::rename(temporary.path().c_str(), destination.c_str()) != 0) {
      return std::unexpected(destination + ": cannot be replaced: " + reason(errno));
    }
    temporary.release();
    return {};
  }
  if (::renameat2(AT_FDCWD, temporary.path().c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
    temporary.release();
    return {};
  }
  if (errno == EEXIST) return std::unexpected(destination + ": already exists and is not replaced");
  if (errno != EINVAL && errno != ENOSYS) return std::unexpected(destination + ": cannot be written: " + reason(errno));
  // The file system cannot rename without replacing: a hard link refuses an existing name too.
  if (::link(temporary.path().c_str(), destination.c_str()) != 0) {
    if (errno == EEXIST) return std::unexpected(destination + ": already exists and is not replaced");
    return std::unexpected(destination + ": cannot be written: " + reason(errno));
  }
  return {};  // the temporary name is removed by its guard
}

}  // namespace foundation
