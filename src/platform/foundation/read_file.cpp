#include "platform/foundation/read_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace foundation {

std::expected<std::string, std::error_code> readFilePrefix(const std::filesystem::path& file, std::size_t most) {
  int fd = -1;
  do {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::unexpected(std::error_code(errno, std::generic_category()));
  std::string bytes(most, '\0');
  std::size_t filled = 0;
  while (filled < most) {
    const ssize_t got = ::read(fd, bytes.data() + filled, most - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const std::error_code error(errno, std::generic_category());
      ::close(fd);
      return std::unexpected(error);
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  ::close(fd);
  bytes.resize(filled);
  return bytes;
}

}  // namespace foundation
