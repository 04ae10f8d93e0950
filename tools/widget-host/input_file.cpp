#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace host {

std::expected<std::string, HostError> readInputFile(const std::string& path, std::string_view what, std::size_t limit) {
  const bool standardInput = path == "-";
  const std::string name =
      standardInput ? std::string(what) + " (standard input)" : std::string(what) + " \"" + path + "\"";
  const auto unreadable = [&](int error) {
    return std::unexpected(HostError{ExitCode::noInput, "cannot read the " + name + ": " + std::strerror(error)});
  };
  const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return unreadable(errno);
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    if (!standardInput) ::close(fd);
    return unreadable(EISDIR);
  }
  std::string bytes;
  std::array<char, 64 * 1024> buffer{};
  int failure = 0;
  for (;;) {
    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      break;
    }
    if (count == 0) break;
    bytes.append(buffer.data(), static_cast<std::size_t>(count));
    if (bytes.size() > limit) break;
  }
  if (!standardInput) ::close(fd);
  if (failure != 0) return unreadable(failure);
  if (bytes.size() > limit) {
    return std::unexpected(HostError{ExitCode::dataError, "the " + name + " holds more than " + std::to_string(limit) +
                                                              " bytes, the most accepted"});
  }
  return bytes;
}

}  // namespace host
