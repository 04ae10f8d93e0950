// Test support: runs a real child process and collects its standard output.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tul::testing {

struct ProcessResult {
  int exitCode = -1;
  std::string output;
};

// Runs argv[0] (a path) with `input` on its standard input, then closed; returns its
// exit status (128 + signal when killed) and standard output. Input is written before
// output is read, so keep it small (under the pipe's 64 KiB).
inline ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "") {
  int pipeFds[2];
  int inputFds[2];
  if (::pipe(pipeFds) != 0) return {};
  if (::pipe(inputFds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, inputFds[0], STDIN_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addclose(&actions, inputFds[1]);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  ::close(inputFds[0]);
  for (std::size_t done = 0; done < input.size();) {
    const ssize_t n = ::write(inputFds[1], input.data() + done, input.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(inputFds[1]);
  ProcessResult result;
  std::array<char, 4096> buffer{};
  ssize_t n = 0;
  while ((n = ::read(pipeFds[0], buffer.data(), buffer.size())) > 0) result.output.append(buffer.data(), static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  if (spawned != 0) return result;
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace tul::testing
