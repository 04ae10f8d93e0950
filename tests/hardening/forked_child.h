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
  int status = -1;     // as waitpid gives it; -1 when the child could not be started
  std::string report;  // what the child's body returned: empty when all was well

  bool exited() const { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
  bool clean() const { return exited() && report.empty(); }
  std::string describe() const { return exited() ? report : "the child failed, wait status " + std::to_string(status); }
};

// Runs `body` in a forked child that leaves through _exit, so nothing of the test's
// state is torn down twice. The string it returns (empty when all was well) comes
// back as the report; an exception becomes a report too.
inline ChildOutcome runForked(const std::function<std::string()>& body) {
  int channel[2];
  if (::pipe(channel) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    std::string report;
    try {
      report = body();
    } catch (const std::exception& error) {
      report = std::string("exception: ") + error.what();
    }
    // A blocking write to a pipe returns once all of it is written (the parent reads).
    ::_exit(::write(channel[1], report.data(), report.size()) == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  ::close(channel[1]);
  ChildOutcome outcome;
  char buffer[4096];
  for (ssize_t n = 0; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
    outcome.report.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(channel[0]);
  if (child > 0) ::waitpid(child, &outcome.status, 0);
  return outcome;
}

}  // namespace tul::hardening
