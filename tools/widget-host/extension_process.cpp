#include "extension_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <csignal>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace host {

namespace {

std::string errorText(int error) { return std::strerror(error); }

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A file descriptor closed with its owner; -1 for none.
struct OwnedFd {
  explicit OwnedFd(int descriptor) : fd(descriptor) {}
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  ~OwnedFd() {
    if (fd >= 0) ::close(fd);
  }

  int fd;
};

// A spawn's settings, released with their owner.
struct SpawnSettings {
  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attributes{};
  SpawnSettings() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSettings() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;
};

}  // namespace

std::string describeWaitStatus(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const char* abbreviation = sigabbrev_np(signal);
    return "crashed (signal " + std::to_string(signal) +
           (abbreviation != nullptr ? ", SIG" + std::string(abbreviation) : std::string()) + ")";
  }
  return "ended with wait status " + std::to_string(status);
}

std::expected<ExtensionProcess, HostError> ExtensionProcess::start(const std::filesystem::path& executable,
                                                                   Duration timeLimit) {
  const auto unavailable = [&](const std::string& reason) {
    return std::unexpected(
        HostError{ExitCode::unavailable, "cannot start the extension at " + executable.string() + ": " + reason});
  };
  struct stat info {};
  if (::stat(executable.c_str(), &info) != 0) return unavailable(errorText(errno));
  if (!S_ISREG(info.st_mode)) return unavailable("not a file");
  if (::access(executable.c_str(), X_OK) != 0) return unavailable("not executable (" + errorText(errno) + ")");

  // Writing to an extension that has gone away must fail with EPIPE, not end the host.
  std::signal(SIGPIPE, SIG_IGN);

  std::array<int, 2> toChild{-1, -1};
  std::array<int, 2> fromChild{-1, -1};
  if (::pipe2(toChild.data(), O_CLOEXEC) != 0) return unavailable("cannot make a pipe: " + errorText(errno));
  if (::pipe2(fromChild.data(), O_CLOEXEC) != 0) {
    const int error = errno;
    closeFd(toChild[0]);
    closeFd(toChild[1]);
    return unavailable("cannot make a pipe: " + errorText(error));
  }

  SpawnSettings settings;
  // dup2 clears close-on-exec on the child's copies; every other descriptor of ours
  // is close-on-exec, so the child holds only its own ends.
  posix_spawn_file_actions_adddup2(&settings.actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&settings.actions, fromChild[1], STDOUT_FILENO);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigset_t noneBlocked;
  sigemptyset(&noneBlocked);
  posix_spawnattr_setsigdefault(&settings.attributes, &defaults);
  posix_spawnattr_setsigmask(&settings.attributes, &noneBlocked);
  posix_spawnattr_setflags(&settings.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::string program = executable.string();
  std::array<char*, 2> arguments{program.data(), nullptr};
  pid_t pid = -1;
  const int spawned =
      ::posix_spawn(&pid, program.c_str(), &settings.actions, &settings.attributes, arguments.data(), environ);
  closeFd(toChild[0]);
  closeFd(fromChild[1]);
  if (spawned != 0) {
    closeFd(toChild[1]);
    closeFd(fromChild[0]);
    return unavailable(errorText(spawned));
  }
  ::fcntl(toChild[1], F_SETFL, ::fcntl(toChild[1], F_GETFL) | O_NONBLOCK);
  ::fcntl(fromChild[0], F_SETFL, ::fcntl(fromChild[0], F_GETFL) | O_NONBLOCK);
  return ExtensionProcess(executable, pid, toChild[1], fromChild[0], timeLimit);
}

ExtensionProcess::ExtensionProcess(std::filesystem::path executable, pid_t pid, int input, int output,
                                   Duration timeLimit)
    : executable_(std::move(executable)), pid_(pid), input_(input), output_(output), timeLimit_(timeLimit) {}

ExtensionProcess::ExtensionProcess(ExtensionProcess&& other) noexcept
    : executable_(std::move(other.executable_)),
      pid_(std::exchange(other.pid_, -1)),
      input_(std::exchange(other.input_, -1)),
      output_(std::exchange(other.output_, -1)),
      timeLimit_(other.timeLimit_),
      outgoing_(std::move(other.outgoing_)),
      incoming_(std::move(other.incoming_)),
      scanned_(std::exchange(other.scanned_, 0)),
      failed_(other.failed_),
      closeOnceWritten_(other.closeOnceWritten_) {}

ExtensionProcess& ExtensionProcess::operator=(ExtensionProcess&& other) noexcept {
  if (this != &other) {
    end();
    executable_ = std::move(other.executable_);
    pid_ = std::exchange(other.pid_, -1);
    input_ = std::exchange(other.input_, -1);
    output_ = std::exchange(other.output_, -1);
    timeLimit_ = other.timeLimit_;
    outgoing_ = std::move(other.outgoing_);
    incoming_ = std::move(other.incoming_);
    scanned_ = std::exchange(other.scanned_, 0);
    failed_ = other.failed_;
    closeOnceWritten_ = other.closeOnceWritten_;
  }
  return *this;
}

ExtensionProcess::~ExtensionProcess() { end(); }

std::expected<std::string, HostError> ExtensionProcess::exchange(std::string_view line) {
  if (auto failure = usable()) return std::unexpected(*failure);
  outgoing_.append(line);
  outgoing_.push_back('\n');
  auto pumped = pump(Clock::now() + timeLimit_, true);
  if (!pumped) return std::unexpected(pumped.error());
  return *takeLine();
}

std::expected<void, HostError> ExtensionProcess::send(std::string_view bytes) {
  if (auto failure = usable()) return std::unexpected(*failure);
  outgoing_.append(bytes);
  return pump(Clock::now() + timeLimit_, false);
}

std::expected<std::string, HostError> ExtensionProcess::receiveLine() {
  if (auto line = takeLine()) return std::move(*line);
  if (auto failure = usable()) return std::unexpected(*failure);
  auto pumped = pump(Clock::now() + timeLimit_, true);
  if (!pumped) return std::unexpected(pumped.error());
  return *takeLine();
}

std::expected<void, HostError> ExtensionProcess::finish() {
  if (auto failure = usable()) return std::unexpected(*failure);
  closeInput();
  const auto deadline = Clock::now() + timeLimit_;
  // Drain the output to its end, so that an extension still writing is not stuck on
  // a full pipe while we wait for it to exit.
  std::array<char, 64 * 1024> buffer;  // filled by read(), never read past that
  while (output_ >= 0) {
    const auto remaining = std::chrono::duration_cast<Duration>(deadline - Clock::now());
    if (remaining.count() <= 0) break;
    pollfd watched{output_, POLLIN, 0};
    const int ready = ::poll(&watched, 1, static_cast<int>(remaining.count()));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    const ssize_t count = ::read(output_, buffer.data(), buffer.size());
    if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) closeOutput();
  }
  incoming_.clear();
  scanned_ = 0;
  const auto status = output_ < 0 ? waitUntil(deadline) : std::nullopt;
  if (!status) {
    failed_ = true;
    end();
    return std::unexpected(HostError{ExitCode::unavailable, subject() + " did not exit within " + limitText() +
                                                                " after its input closed; it was ended"});
  }
  closeOutput();
  if (WIFEXITED(*status) && WEXITSTATUS(*status) == 0) return {};
  failed_ = true;
  return std::unexpected(
      HostError{ExitCode::unavailable, subject() + " " + describeWaitStatus(*status) + " after its input closed"});
}

std::optional<HostError> ExtensionProcess::usable() const {
  if (failed_ || pid_ <= 0) {
    return HostError{ExitCode::unavailable, subject() + " has already ended"};
  }
  return std::nullopt;
}

std::expected<void, HostError> ExtensionProcess::pump(Clock::time_point deadline, bool wantLine) {
  std::array<char, 64 * 1024> buffer;  // filled by read(), never read past that
  for (;;) {
    if (closeOnceWritten_ && outgoing_.empty()) closeInput();
    if (input_ < 0) outgoing_.clear();
    // scanned_: how much of incoming_ is known to hold no '\n', so that a long line
    // arriving in many pieces is scanned once.
    const bool haveLine = incoming_.find('\n', scanned_) != std::string::npos;
    if (outgoing_.empty() && (!wantLine || haveLine)) return {};
    if (!haveLine) scanned_ = incoming_.size();

    std::array<pollfd, 2> watched{};
    nfds_t count = 0;
    if (output_ >= 0) watched[count++] = pollfd{output_, POLLIN, 0};
    if (!outgoing_.empty() && input_ >= 0) watched[count++] = pollfd{input_, POLLOUT, 0};
    const auto remaining = std::chrono::duration_cast<Duration>(deadline - Clock::now());
    if (remaining.count() <= 0 || count == 0) {
      return std::unexpected(failAndEnd(subject() +
                                        (wantLine ? " did not answer within " : " did not read its input within ") +
                                        limitText() + "; it was ended"));
    }
    const int ready = ::poll(watched.data(), count, static_cast<int>(remaining.count()) + 1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(failAndEnd("cannot wait for " + subject() + ": " + errorText(errno)));
    }
    for (nfds_t i = 0; i < count; ++i) {
      if (watched[i].revents == 0) continue;
      if (watched[i].fd == output_) {
        const ssize_t read = ::read(output_, buffer.data(), buffer.size());
        if (read == 0) return std::unexpected(endedEarly(deadline, "closed its output"));
        if (read < 0) {
          if (errno == EINTR || errno == EAGAIN) continue;
          return std::unexpected(failAndEnd("cannot read from " + subject() + ": " + errorText(errno)));
        }
        incoming_.append(buffer.data(), static_cast<std::size_t>(read));
        if (incoming_.find('\n', scanned_) == std::string::npos && incoming_.size() > kMaxAnswerBytes) {
          return std::unexpected(failAndEnd(subject() + " wrote an answer line longer than " +
                                            std::to_string(kMaxAnswerBytes) + " bytes; it was ended"));
        }
      } else {
        const ssize_t written = ::write(input_, outgoing_.data(), outgoing_.size());
        if (written >= 0) {
          outgoing_.erase(0, static_cast<std::size_t>(written));
        } else if (errno == EPIPE) {
          closeInput();
          return std::unexpected(endedEarly(deadline, "stopped reading its input"));
        } else if (errno != EINTR && errno != EAGAIN) {
          return std::unexpected(failAndEnd("cannot write to " + subject() + ": " + errorText(errno)));
        }
      }
    }
  }
}

std::optional<std::string> ExtensionProcess::takeLine() {
  const auto newline = incoming_.find('\n');
  if (newline == std::string::npos) return std::nullopt;
  std::string line = incoming_.substr(0, newline);
  incoming_.erase(0, newline + 1);
  scanned_ = 0;
  return line;
}

HostError ExtensionProcess::endedEarly(Clock::time_point deadline, const std::string& what) {
  failed_ = true;
  // The process usually ends with its output; give it a moment to be reaped.
  const auto status = waitUntil(std::min(deadline, Clock::now() + kGracePeriod));
  // An answer cut off before its '\n' is no answer; whole lines before it (answers
  // received while a later request was being written) are answers still to be taken.
  const std::size_t lineEnd = incoming_.rfind('\n');
  const std::size_t unfinished = lineEnd == std::string::npos ? incoming_.size() : incoming_.size() - lineEnd - 1;
  const std::string when = unfinished == 0 ? " before answering"
                                           : " in the middle of an answer (" + std::to_string(unfinished) +
                                                 " bytes without a line end)";
  if (status) {
    closeInput();
    closeOutput();
    return HostError{ExitCode::unavailable, subject() + " " + describeWaitStatus(*status) + when};
  }
  end();
  return HostError{ExitCode::unavailable, subject() + " " + what + when + "; it was ended"};
}

HostError ExtensionProcess::failAndEnd(const std::string& what) {
  failed_ = true;
  end();
  return HostError{ExitCode::unavailable, what};
}

std::optional<int> ExtensionProcess::waitUntil(Clock::time_point deadline) {
  // A pidfd becomes readable the moment the process ends, so the wait ends with it.
  // An extension whose output has just closed is usually microseconds from its end,
  // and a first pause of 1 ms was a noticeable part of a whole `widget-host timeline`.
  // Where the system has no pidfd (Linux before 5.3), pauses that grow from 1 ms.
  // (Called through syscall(): Debian 12's <sys/pidfd.h> does not declare it for C++.)
  const OwnedFd exited{pid_ > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)) : -1};
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (pid_ <= 0) return std::nullopt;
    int status = 0;
    const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
    if (reaped == pid_) {
      pid_ = -1;
      return status;
    }
    if (reaped < 0 && errno != EINTR) {
      pid_ = -1;  // not our child any more: nothing left to wait for
      return std::nullopt;
    }
    const auto now = Clock::now();
    if (now >= deadline) return std::nullopt;
    if (exited.fd >= 0) {
      // Rounded up, so that the last wait does not end just short of the deadline.
      const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      pollfd watched{exited.fd, POLLIN, 0};
      ::poll(&watched, 1, static_cast<int>(std::min<std::int64_t>(remaining, 60'000)));
    } else {
      std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
      pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
  }
}

void ExtensionProcess::end() {
  closeInput();
  closeOutput();
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  if (waitUntil(Clock::now() + kGracePeriod)) return;
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

void ExtensionProcess::closeInput() { closeFd(input_); }
void ExtensionProcess::closeOutput() { closeFd(output_); }

std::string ExtensionProcess::subject() const { return "the extension at " + executable_.string(); }

std::string ExtensionProcess::limitText() const {
  const auto milliseconds = timeLimit_.count();
  if (milliseconds % 1000 == 0) {
    const auto seconds = milliseconds / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
  }
  std::array<char, 32> text{};
  const auto [end, error] =
      std::to_chars(text.data(), text.data() + text.size(), static_cast<double>(milliseconds) / 1000.0);
  return std::string(text.data(), end) + " seconds";
}

}  // namespace host
