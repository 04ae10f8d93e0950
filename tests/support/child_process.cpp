#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace tul::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kReadSize = 64 * 1024;

void closeIfOpen(int& fd) {
  if (fd >= 0) ::close(std::exchange(fd, -1));
}

std::optional<Clock::time_point> deadlineAfter(std::chrono::milliseconds timeout) {
  if (timeout == kNoDeadline) return std::nullopt;
  return Clock::now() + timeout;
}

int millisecondsLeft(std::optional<Clock::time_point> deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until `fd` is ready for `events` (or has hung up); false when the deadline passes.
bool ready(int fd, short events, std::optional<Clock::time_point> deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int count = ::poll(&entry, 1, millisecondsLeft(deadline));
    if (count > 0) return true;
    if (count == 0 || errno != EINTR) return false;
  }
}

int exitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// This process's environment with `changes` applied, as "NAME=value" strings.
std::vector<std::string> changedEnvironment(const EnvironmentChanges& changes) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (!changes.contains(variable.substr(0, variable.find('=')))) environment.push_back(variable);
  }
  for (const auto& [name, value] : changes) {
    if (value) environment.push_back(name + "=" + *value);
  }
  return environment;
}

}  // namespace

ChildProcess::ChildProcess(pid_t pid, ProcessGroup group, int input, int output, int error)
    : pid_(pid), group_(group), input_(input), output_(output), error_(error), buffer_(kReadSize) {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    release();
    pid_ = std::exchange(other.pid_, -1);
    group_ = other.group_;
    input_ = std::exchange(other.input_, -1);
    output_ = std::exchange(other.output_, -1);
    error_ = std::exchange(other.error_, -1);
    buffer_ = std::move(other.buffer_);
    begin_ = std::exchange(other.begin_, 0);
    end_ = std::exchange(other.end_, 0);
    error_text_ = std::move(other.error_text_);
    exitStatus_ = other.exitStatus_;
  }
  return *this;
}

ChildProcess::~ChildProcess() { release(); }

void ChildProcess::release() {
  closeIfOpen(input_);
  closeIfOpen(output_);
  closeIfOpen(error_);
  if (pid_ > 0) {
    ::kill(group_ == ProcessGroup::own ? -pid_ : pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
}

std::expected<ChildProcess, std::string> ChildProcess::start(const std::vector<std::string>& argv,
                                                             const ChildOptions& options) {
  if (argv.empty()) return std::unexpected(std::string("no program to start"));
  ::signal(SIGPIPE, SIG_IGN);
  std::array<int, 2> in{-1, -1}, out{-1, -1}, err{-1, -1};
  const auto closeAll = [&] {
    for (int* fd : {&in[0], &in[1], &out[0], &out[1], &err[0], &err[1]}) closeIfOpen(*fd);
  };
  if (::pipe2(in.data(), O_CLOEXEC) != 0 || ::pipe2(out.data(), O_CLOEXEC) != 0 ||
      (options.captureError && ::pipe2(err.data(), O_CLOEXEC) != 0)) {
    const std::string reason = std::strerror(errno);
    closeAll();
    return std::unexpected("pipe: " + reason);
  }
  // dup2 onto 0, 1 and 2 clears close-on-exec for the child's copies only.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  if (options.captureError) posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (options.group == ProcessGroup::own) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  std::vector<std::string> arguments = argv;
  std::vector<char*> args;
  for (auto& argument : arguments) args.push_back(argument.data());
  args.push_back(nullptr);
  std::vector<std::string> environment;
  std::vector<char*> envp;
  if (!options.changes.empty()) {
    environment = changedEnvironment(options.changes);
    for (auto& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
  }
  pid_t pid = -1;
  const int error =
      ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), envp.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    closeAll();
    return std::unexpected("cannot start " + argv[0] + ": " + std::strerror(error));
  }
  closeIfOpen(in[0]);
  closeIfOpen(out[1]);
  closeIfOpen(err[1]);
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  return ChildProcess(pid, options.group, in[1], out[0], err[0]);
}

bool ChildProcess::write(std::string_view bytes, std::chrono::milliseconds timeout) {
  const auto deadline = deadlineAfter(timeout);
  while (!bytes.empty()) {
    if (input_ < 0) return false;
    const ssize_t n = ::write(input_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (!ready(input_, POLLOUT, deadline)) return false;
  }
  return true;
}

// Reads more of the child's output behind what is unread; false at the end of the
// output, on an error, or when the deadline passes first. Without a deadline this is
// one plain blocking read.
bool ChildProcess::fill(std::optional<Clock::time_point> deadline) {
  if (output_ < 0) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  for (;;) {
    if (deadline && !ready(output_, POLLIN, deadline)) return false;
    const ssize_t n = ::read(output_, buffer_.data() + end_, buffer_.size() - end_);
    if (n > 0) {
      end_ += static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0 || errno != EINTR) return false;
  }
}

bool ChildProcess::takeLine(std::string& line) {
  const char* first = buffer_.data() + begin_;
  const auto* newline = static_cast<const char*>(std::memchr(first, '\n', end_ - begin_));
  if (newline == nullptr) return false;
  line.assign(first, newline);
  begin_ += static_cast<std::size_t>(newline - first) + 1;
  return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = deadlineAfter(timeout);
  std::string line;
  while (!takeLine(line)) {
    if (!fill(deadline)) return std::nullopt;
  }
  return line;
}

bool ChildProcess::readLine(std::string& line) {
  while (!takeLine(line)) {
    if (!fill(std::nullopt)) return false;
  }
  return true;
}

// Writes `input` (then closes the child's input) while collecting its output into `out`
// and its standard error, until both have ended; false when the deadline passes first.
bool ChildProcess::drain(std::string_view input, std::string& out, std::optional<Clock::time_point> deadline) {
  out.append(buffer_.data() + begin_, end_ - begin_);
  begin_ = end_ = 0;
  std::array<char, kReadSize> chunk{};
  while (output_ >= 0 || error_ >= 0) {
    std::array<pollfd, 3> fds{};
    nfds_t count = 0;
    for (int fd : {output_, error_}) {
      if (fd >= 0) fds[count++] = pollfd{fd, POLLIN, 0};
    }
    const bool writing = !input.empty() && input_ >= 0;
    if (writing) fds[count++] = pollfd{input_, POLLOUT, 0};
    const int left = millisecondsLeft(deadline);
    if (deadline && left <= 0) return false;
    if (::poll(fds.data(), count, left) < 0) continue;
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (writing && fds[i].fd == input_) {
        const ssize_t n = ::write(input_, input.data(), input.size());
        if (n > 0) input.remove_prefix(static_cast<std::size_t>(n));
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || input.empty()) closeInput();
        continue;
      }
      int& fd = fds[i].fd == output_ ? output_ : error_;
      const ssize_t n = ::read(fd, chunk.data(), chunk.size());
      if (n > 0) {
        (&fd == &output_ ? out : error_text_).append(chunk.data(), static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        closeIfOpen(fd);
      }
    }
  }
  return true;
}

std::string ChildProcess::readToEnd(std::chrono::milliseconds timeout) {
  std::string out;
  drain({}, out, deadlineAfter(timeout));
  return out;
}

void ChildProcess::closeInput() { closeIfOpen(input_); }

void ChildProcess::kill(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return exitStatus_;
  if (timeout != kNoDeadline || group_ == ProcessGroup::own) {
    // Waits for the end without reaping: the group's id cannot be reused meanwhile.
    const auto deadline = deadlineAfter(timeout);
    const int flags = WEXITED | WNOWAIT | (deadline ? WNOHANG : 0);
    for (;;) {
      siginfo_t info{};
      const int done = ::waitid(P_PID, static_cast<id_t>(pid_), &info, flags);
      if (done == 0 && info.si_pid == pid_) break;
      if (done < 0 && errno != EINTR) return std::nullopt;
      if (deadline && Clock::now() >= *deadline) return std::nullopt;
      if (deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (group_ == ProcessGroup::own) ::kill(-pid_, SIGKILL);
  }
  int status = 0;
  pid_t reaped = -1;
  while ((reaped = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (reaped < 0) return std::nullopt;
  exitStatus_ = exitStatus(status);
  return exitStatus_;
}

std::optional<long> ChildProcess::peakResidentKiB() const {
  if (pid_ <= 0) return std::nullopt;
  const std::string path = "/proc/" + std::to_string(pid_) + "/status";
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return std::nullopt;
  std::array<char, 256> line{};
  std::optional<long> peak;
  while (std::fgets(line.data(), static_cast<int>(line.size()), file) != nullptr) {
    if (std::string_view(line.data()).starts_with("VmHWM:")) peak = std::strtol(line.data() + 6, nullptr, 10);
  }
  std::fclose(file);
  return peak;
}

RunResult run(const std::vector<std::string>& argv, const std::string& input, const EnvironmentChanges& changes,
              std::chrono::milliseconds limit, ProcessGroup group) {
  RunResult result;
  auto child = ChildProcess::start(argv, {changes, true, group});
  if (!child) {
    result.err = child.error();
    return result;
  }
  const auto deadline = Clock::now() + limit;
  if (input.empty()) child->closeInput();
  const bool ended = child->drain(input, result.out, deadline);
  result.err = std::move(child->error_text_);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  const auto status = ended ? child->wait(std::max(left, std::chrono::milliseconds(0))) : std::nullopt;
  if (!status) {
    child->kill(SIGKILL);
    child->wait(kNoDeadline);
    result.exitCode = kHung;
    return result;
  }
  result.exitCode = *status;
  return result;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input) {
  RunResult ran = run(argv, input);
  std::fputs(ran.err.c_str(), stderr);
  return {ran.exitCode, std::move(ran.out)};
}

}  // namespace tul::testing
