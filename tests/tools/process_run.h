// Test support for the widget host's process-level tests:
// - runProgram(): runs a real program with arguments, changes to the environment and
//   bytes on its standard input, and collects its exit status, standard output and
//   standard error. A program that does not end within a generous limit is killed and
//   reported as hung (exit code kHung), so that a fault never hangs the test run.
//   With ProcessGroup::own the program leads a process group of its own, and whatever
//   of that group is left when the program ends or is killed (a browser's helper
//   processes) is killed with it.
// - installedPrefix(): the project installed with `cmake --install` into a temporary
//   prefix, once per test process, removed when the process ends.
// - TempFolder: a temporary folder removed with its owner.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;

namespace tul::testing {

inline constexpr int kHung = -2;

struct RunResult {
  int exitCode = -1;  // the exit status, 128 + signal when killed by one, or kHung
  std::string out;
  std::string err;
};

// Environment changes: a value sets the variable, none removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

enum class ProcessGroup { shared, own };

inline RunResult runProgram(const std::vector<std::string>& argv, const std::string& input = "",
                            const EnvironmentChanges& changes = {},
                            std::chrono::seconds limit = std::chrono::seconds(30),
                            ProcessGroup group = ProcessGroup::shared) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (!changes.contains(variable.substr(0, variable.find('=')))) environment.push_back(variable);
  }
  for (const auto& [name, value] : changes) {
    if (value) environment.push_back(name + "=" + *value);
  }
  std::vector<char*> envp;
  for (auto& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments = argv;
  std::vector<char*> args;
  for (auto& argument : arguments) args.push_back(argument.data());
  args.push_back(nullptr);

  std::array<int, 2> in{}, out{}, err{};
  if (::pipe2(in.data(), O_CLOEXEC) != 0 || ::pipe2(out.data(), O_CLOEXEC) != 0 ||
      ::pipe2(err.data(), O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (group == ProcessGroup::own) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  RunResult result;
  if (spawned != 0) {
    ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    result.err = std::string("cannot start: ") + std::strerror(spawned);
    return result;
  }

  std::signal(SIGPIPE, SIG_IGN);
  int inFd = in[1];
  std::size_t written = 0;
  if (input.empty()) {
    ::close(inFd);
    inFd = -1;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool hung = false;
  std::array<int, 2> readFds{out[0], err[0]};
  std::array<std::string*, 2> sinks{&result.out, &result.err};
  while (readFds[0] >= 0 || readFds[1] >= 0 || inFd >= 0) {
    std::array<pollfd, 3> fds{};
    nfds_t count = 0;
    for (int fd : readFds) {
      if (fd >= 0) fds[count++] = pollfd{fd, POLLIN, 0};
    }
    if (inFd >= 0) fds[count++] = pollfd{inFd, POLLOUT, 0};
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (remaining <= 0) {
      hung = true;
      break;
    }
    if (::poll(fds.data(), count, static_cast<int>(remaining)) < 0) continue;
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        const ssize_t n = ::write(inFd, input.data() + written, input.size() - written);
        if (n > 0) written += static_cast<std::size_t>(n);
        if (n < 0 || written == input.size()) {
          ::close(inFd);
          inFd = -1;
        }
        continue;
      }
      for (std::size_t k = 0; k < readFds.size(); ++k) {
        if (fds[i].fd != readFds[k]) continue;
        std::array<char, 65536> buffer{};
        const ssize_t n = ::read(readFds[k], buffer.data(), buffer.size());
        if (n > 0) {
          sinks[k]->append(buffer.data(), static_cast<std::size_t>(n));
        } else {
          ::close(readFds[k]);
          readFds[k] = -1;
        }
      }
    }
  }
  for (int fd : {inFd, readFds[0], readFds[1]}) {
    if (fd >= 0) ::close(fd);
  }
  if (hung) ::kill(group == ProcessGroup::own ? -pid : pid, SIGKILL);
  if (group == ProcessGroup::own) {
    // The leader stays unreaped meanwhile, so the group's id cannot have been reused.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    ::kill(-pid, SIGKILL);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (hung) {
    result.exitCode = kHung;
  } else {
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return result;
}

class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "widget-host-test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The build tree installed into a temporary prefix, as a user would install it.
inline const std::filesystem::path& installedPrefix() {
  static const TempFolder prefix("widget-host-prefix");
  static const bool installed = [] {
    const RunResult install =
        runProgram({TUL_CMAKE_COMMAND, "--install", TUL_TEST_BINARY_DIR, "--prefix", prefix.path().string()});
    if (install.exitCode != 0) {
      throw std::runtime_error("cmake --install failed: " + install.out + install.err);
    }
    return true;
  }();
  (void)installed;
  return prefix.path();
}

}  // namespace tul::testing
