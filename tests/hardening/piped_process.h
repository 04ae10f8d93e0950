// PipedProcess: a real child process that the test talks to through pipes on its
// standard input and output (its standard error is the test's). Every wait has a
// deadline, so a child that hangs fails the test instead of hanging it. The child is
// killed and reaped when the PipedProcess goes away.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace tul::hardening {

using namespace std::chrono_literals;

class PipedProcess {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts argv[0] (a path). running() tells whether that worked. Writing to a child
  // that has gone away must fail rather than end the test, so SIGPIPE is ignored from
  // here on.
  explicit PipedProcess(const std::vector<std::string>& argv) {
    ::signal(SIGPIPE, SIG_IGN);
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
      closeFd(in[0]);
      closeFd(in[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    closeFd(in[0]);
    closeFd(out[1]);
    input_ = in[1];
    output_ = out[0];
    ::fcntl(input_, F_SETFL, O_NONBLOCK);
    ::fcntl(output_, F_SETFL, O_NONBLOCK);
    if (spawned == 0) pid_ = pid;
  }

  ~PipedProcess() {
    closeInput();
    closeOutput();
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  PipedProcess(const PipedProcess&) = delete;
  PipedProcess& operator=(const PipedProcess&) = delete;

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Writes all of `bytes` to the child's input; false when the pipe closed or the
  // deadline passed first.
  bool write(std::string_view bytes, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
      if (input_ < 0) return false;
      const ssize_t n = ::write(input_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (!waitFor(input_, POLLOUT, deadline)) return false;
    }
    return true;
  }

  // The next line of the child's output without its '\n'; none at end of output or
  // when the deadline passes first.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout = 10s) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      if (const auto newline = pending_.find('\n'); newline != std::string::npos) {
        std::string line = pending_.substr(0, newline);
        pending_.erase(0, newline + 1);
        return line;
      }
      if (!fill(deadline)) return std::nullopt;
    }
  }

  // Everything the child writes until it closes its output (or the deadline passes).
  std::string readToEnd(std::chrono::milliseconds timeout = 10s) {
    const auto deadline = Clock::now() + timeout;
    while (fill(deadline)) {
    }
    return std::exchange(pending_, std::string());
  }

  void closeInput() { closeFd(input_); }
  void closeOutput() { closeFd(output_); }

  void kill(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  // The exit status (128 + signal number when a signal ended it), or none when it
  // is still running at the deadline.
  std::optional<int> wait(std::chrono::milliseconds timeout = 10s) {
    if (pid_ <= 0) return exitStatus_;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitStatus_;
      }
      if (done < 0 || Clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(1ms);
    }
  }

  // The child's peak resident memory in KiB (VmHWM), while it runs.
  std::optional<long> peakResidentKiB() const {
    if (pid_ <= 0) return std::nullopt;
    const std::string path = "/proc/" + std::to_string(pid_) + "/status";
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return std::nullopt;
    char line[256];
    std::optional<long> peak;
    while (std::fgets(line, sizeof line, file) != nullptr) {
      if (std::string_view(line).starts_with("VmHWM:")) peak = std::strtol(line + 6, nullptr, 10);
    }
    std::fclose(file);
    return peak;
  }

 private:
  static void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  static bool waitFor(int fd, short events, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left));
    return ready > 0 || (ready < 0 && errno == EINTR);
  }

  // Appends what the child has written; false at end of output or at the deadline.
  bool fill(Clock::time_point deadline) {
    char buffer[64 * 1024];
    for (;;) {
      if (output_ < 0) return false;
      const ssize_t n = ::read(output_, buffer, sizeof buffer);
      if (n > 0) {
        pending_.append(buffer, static_cast<std::size_t>(n));
        return true;
      }
      if (n == 0) return false;
      if (errno != EAGAIN && errno != EINTR) return false;
      if (!waitFor(output_, POLLIN, deadline)) return false;
    }
  }

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string pending_;
  std::optional<int> exitStatus_;
};

}  // namespace tul::hardening
