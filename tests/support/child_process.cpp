#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <utility>

extern char** environ;

namespace tul::testing {

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;
constexpr std::size_t kReadSize = 64 * 1024;

void closeIfOpen(int& fd) {
  if (fd >= 0) ::close(std::exchange(fd, -1));
}

Deadline deadlineAfter(std::chrono::milliseconds timeout) {
  return timeout == kNoDeadline ? Deadline() : Clock::now() + timeout;
}

// What poll() waits for before the deadline: -1 without one, never below 0.
int millisecondsLeft(Deadline deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  return static_cast<int>(std::max<decltype(left)>(left, 0));
}

// Waits until `fd` is ready for `events` (or hung up); false when the deadline passes.
bool ready(int fd, short events, Deadline deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int count = ::poll(&entry, 1, millisecondsLeft(deadline));
    if (count > 0) return true;
    if (count == 0 || errno != EINTR) return false;
  }
}

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

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& text : strings) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

struct ChildProcess::State {
  pid_t pid = -1;
  ProcessGroup group = ProcessGroup::shared;
  int input = -1;   // the write end of the child's standard input (non-blocking)
  int output = -1;  // the read end of its standard output (blocking)
  int error = -1;   // the read end of its standard error, when captured
  std::vector<char> buffer = std::vector<char>(kReadSize);
  std::size_t begin = 0;  // the unread output is buffer[begin, end)
  std::size_t end = 0;
  std::string errorText;
  std::optional<int> exitStatus;

  ~State() {
    for (int* fd : {&input, &output, &error}) closeIfOpen(*fd);
    if (pid <= 0) return;
    ::kill(group == ProcessGroup::own ? -pid : pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }

  // Reads more output behind what is unread; false at the end of the output, on an
  // error, or when the deadline passes first. Without a deadline: one blocking read.
  bool fill(Deadline deadline) {
    if (output < 0) return false;
    std::memmove(buffer.data(), buffer.data() + begin, end - begin);
    end -= std::exchange(begin, 0);
    if (end == buffer.size()) buffer.resize(buffer.size() * 2);
    for (;;) {
      if (deadline && !ready(output, POLLIN, deadline)) return false;
      const ssize_t n = ::read(output, buffer.data() + end, buffer.size() - end);
      if (n > 0) end += static_cast<std::size_t>(n);
      if (n >= 0 || errno != EINTR) return n > 0;
    }
  }

  // The next whole line into `line`, reading more as needed; false at the end of the
  // output or when the deadline passes first.
  bool readLine(std::string& line, Deadline deadline) {
    for (;;) {
      const char* first = buffer.data() + begin;
      if (const auto* newline = static_cast<const char*>(std::memchr(first, '\n', end - begin))) {
        line.assign(first, newline);
        begin += static_cast<std::size_t>(newline - first) + 1;
        return true;
      }
      if (!fill(deadline)) return false;
    }
  }

  // Writes `input` (closing the child's input once it is all written) while collecting
  // the output and the standard error until both end; false when the deadline passes.
  bool drain(std::string_view rest, std::string& out, Deadline deadline) {
    out.append(buffer.data() + begin, end - begin);
    begin = end = 0;
    std::array<char, kReadSize> chunk{};
    while (output >= 0 || error >= 0) {
      std::array<pollfd, 3> fds{pollfd{output, POLLIN, 0}, pollfd{error, POLLIN, 0},
                                pollfd{rest.empty() ? -1 : input, POLLOUT, 0}};
      if (deadline && millisecondsLeft(deadline) == 0) return false;
      if (::poll(fds.data(), fds.size(), millisecondsLeft(deadline)) <= 0) continue;
      if (fds[2].revents != 0) {
        const ssize_t n = ::write(input, rest.data(), rest.size());
        if (n > 0) rest.remove_prefix(static_cast<std::size_t>(n));
        if (rest.empty() || (n < 0 && errno != EAGAIN && errno != EINTR)) closeIfOpen(input);
      }
      for (std::size_t k = 0; k < 2; ++k) {
        if (fds[k].revents == 0) continue;
        const ssize_t n = ::read(fds[k].fd, chunk.data(), chunk.size());
        if (n > 0) (k == 0 ? out : errorText).append(chunk.data(), static_cast<std::size_t>(n));
        if (n == 0 || (n < 0 && errno != EINTR)) closeIfOpen(k == 0 ? output : error);
      }
    }
    return true;
  }
};

ChildProcess::ChildProcess(std::unique_ptr<State> state) : state_(std::move(state)) {}
ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&&) noexcept = default;
ChildProcess::~ChildProcess() = default;

std::expected<ChildProcess, std::string> ChildProcess::start(const std::vector<std::string>& argv,
                                                             const ChildOptions& options) {
  if (argv.empty()) return std::unexpected(std::string("no program to start"));
  [[maybe_unused]] static const bool pipeSignalIgnored = ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
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
  std::vector<std::string> environment = changedEnvironment(options.changes);
  auto state = std::make_unique<State>();
  const int error = ::posix_spawn(&state->pid, argv[0].c_str(), &actions, &attributes, pointers(arguments).data(),
                                  pointers(environment).data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    closeAll();
    state->pid = -1;
    return std::unexpected("cannot start " + argv[0] + ": " + std::strerror(error));
  }
  for (int* fd : {&in[0], &out[1], &err[1]}) closeIfOpen(*fd);
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  state->group = options.group;
  state->input = in[1];
  state->output = out[0];
  state->error = err[0];
  return ChildProcess(std::move(state));
}

pid_t ChildProcess::pid() const { return state_->pid; }
const std::string& ChildProcess::errorOutput() const { return state_->errorText; }
void ChildProcess::closeInput() { closeIfOpen(state_->input); }

bool ChildProcess::write(std::string_view bytes, std::chrono::milliseconds timeout) {
  const auto deadline = deadlineAfter(timeout);
  while (!bytes.empty() && state_->input >= 0) {
    const ssize_t n = ::write(state_->input, bytes.data(), bytes.size());
    if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (n < 0 && !ready(state_->input, POLLOUT, deadline)) return false;
  }
  return bytes.empty();
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
  std::string line;
  if (!state_->readLine(line, deadlineAfter(timeout))) return std::nullopt;
  return line;
}

bool ChildProcess::readLine(std::string& line) { return state_->readLine(line, std::nullopt); }

std::string ChildProcess::readToEnd(std::chrono::milliseconds timeout) {
  std::string out;
  state_->drain({}, out, deadlineAfter(timeout));
  return out;
}

void ChildProcess::kill(int signal) {
  if (state_->pid > 0) ::kill(state_->pid, signal);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
  State& s = *state_;
  if (s.pid <= 0) return s.exitStatus;
  if (timeout != kNoDeadline || s.group == ProcessGroup::own) {
    // Waits for the end without reaping, so that the group's id cannot be reused.
    const auto deadline = deadlineAfter(timeout);
    for (;;) {
      siginfo_t info{};
      const int done = ::waitid(P_PID, static_cast<id_t>(s.pid), &info, WEXITED | WNOWAIT | (deadline ? WNOHANG : 0));
      if (done == 0 && info.si_pid == s.pid) break;
      if ((done < 0 && errno != EINTR) || (deadline && Clock::now() >= *deadline)) return std::nullopt;
      if (deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (s.group == ProcessGroup::own) ::kill(-s.pid, SIGKILL);
  }
  int status = 0;
  pid_t reaped = -1;
  while ((reaped = ::waitpid(s.pid, &status, 0)) < 0 && errno == EINTR) {
  }
  s.pid = -1;
  if (reaped < 0) return std::nullopt;
  s.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return s.exitStatus;
}

std::optional<long> ChildProcess::peakResidentKiB() const {
  if (state_->pid <= 0) return std::nullopt;
  std::ifstream status("/proc/" + std::to_string(state_->pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return std::nullopt;
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
  const bool ended = child->state_->drain(input, result.out, deadline);
  result.err = std::move(child->state_->errorText);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  const auto status = ended ? child->wait(std::max(left, std::chrono::milliseconds(0))) : std::nullopt;
  if (!status) child->kill(SIGKILL);
  result.exitCode = status ? *status : (child->wait(kNoDeadline), kHung);
  return result;
}

}  // namespace tul::testing
