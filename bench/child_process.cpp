#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/foundation/write_all.h"

extern char** environ;

namespace bench {

namespace {

constexpr std::size_t kReadSize = 64 * 1024;

void closeIfOpen(int& fd) {
  if (fd >= 0) ::close(std::exchange(fd, -1));
}

}  // namespace

ChildProcess::ChildProcess(pid_t pid, int input, int output)
    : pid_(pid), input_(input), output_(output), buffer_(kReadSize) {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      input_(std::exchange(other.input_, -1)),
      output_(std::exchange(other.output_, -1)),
      buffer_(std::move(other.buffer_)),
      begin_(std::exchange(other.begin_, 0)),
      end_(std::exchange(other.end_, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    release();
    pid_ = std::exchange(other.pid_, -1);
    input_ = std::exchange(other.input_, -1);
    output_ = std::exchange(other.output_, -1);
    buffer_ = std::move(other.buffer_);
    begin_ = std::exchange(other.begin_, 0);
    end_ = std::exchange(other.end_, 0);
  }
  return *this;
}

ChildProcess::~ChildProcess() { release(); }

void ChildProcess::release() {
  closeIfOpen(input_);
  closeIfOpen(output_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
}

std::expected<ChildProcess, std::string> ChildProcess::start(const std::vector<std::string>& argv) {
  if (argv.empty()) return std::unexpected(std::string("no program to start"));
  int toChild[2] = {-1, -1};
  int fromChild[2] = {-1, -1};
  if (::pipe2(toChild, O_CLOEXEC) != 0) return std::unexpected("pipe: " + std::string(std::strerror(errno)));
  if (::pipe2(fromChild, O_CLOEXEC) != 0) {
    const std::string reason = std::strerror(errno);
    ::close(toChild[0]);
    ::close(toChild[1]);
    return std::unexpected("pipe: " + reason);
  }
  // dup2 onto 0 and 1 clears close-on-exec for the child's copies only.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(toChild[0]);
  ::close(fromChild[1]);
  if (error != 0) {
    ::close(toChild[1]);
    ::close(fromChild[0]);
    return std::unexpected("cannot start " + argv[0] + ": " + std::strerror(error));
  }
  return ChildProcess(pid, toChild[1], fromChild[0]);
}

bool ChildProcess::write(std::string_view bytes) { return foundation::writeAll(input_, bytes); }

bool ChildProcess::readLine(std::string& line) {
  line.clear();
  for (;;) {
    const auto* first = buffer_.data() + begin_;
    const auto* newline = static_cast<const char*>(std::memchr(first, '\n', end_ - begin_));
    if (newline != nullptr) {
      line.append(first, newline);
      begin_ += static_cast<std::size_t>(newline - first) + 1;
      return true;
    }
    line.append(first, end_ - begin_);
    begin_ = end_ = 0;
    const ssize_t count = ::read(output_, buffer_.data(), buffer_.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return !line.empty();
    end_ = static_cast<std::size_t>(count);
  }
}

void ChildProcess::closeInput() { closeIfOpen(input_); }

int ChildProcess::wait() {
  closeInput();
  int status = 0;
  pid_t result = -1;
  while ((result = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (result < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace bench
