// Forked children for the hardening tests: runs a piece of the test in a process of
// its own, so that it can lose privileges, live under a file size limit or in its own
// mount namespace, open the suite without the test's cached connection, or crash
// without taking the test with it.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace tul::hardening {

struct ChildOutcome {
  bool exited = false;  // false: ended by a signal (a crash), or could not be started
  int exitCode = -1;
  int signal = 0;
  std::string report;  // what the child's body returned: empty when all was well

  bool clean() const { return exited && exitCode == 0 && report.empty(); }
  std::string describe() const {
    if (!exited) return "the child was ended by signal " + std::to_string(signal);
    if (exitCode != 0) return "the child exited with status " + std::to_string(exitCode) + ": " + report;
    return report;
  }
};

// Runs `body` in a forked child that leaves through _exit, so nothing of the test's
// state is torn down twice. The string it returns (empty when all was well) comes
// back as the report; an exception becomes a report too.
inline ChildOutcome runForked(const std::function<std::string()>& body) {
  int channel[2];
  if (::pipe(channel) != 0) return {};
  const pid_t child = ::fork();
  if (child < 0) return {};
  if (child == 0) {
    ::close(channel[0]);
    std::string report;
    try {
      report = body();
    } catch (const std::exception& error) {
      report = std::string("exception: ") + error.what();
    } catch (...) {
      report = "unknown exception";
    }
    for (std::size_t done = 0; done < report.size();) {
      const ssize_t n = ::write(channel[1], report.data() + done, report.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(channel[1]);
  ChildOutcome outcome;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0) outcome.report.append(buffer, static_cast<std::size_t>(n));
  ::close(channel[0]);
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return outcome;
  outcome.exited = WIFEXITED(status);
  outcome.exitCode = outcome.exited ? WEXITSTATUS(status) : -1;
  outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return outcome;
}

}  // namespace tul::hardening
