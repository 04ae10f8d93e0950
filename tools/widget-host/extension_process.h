// ExtensionProcess: a running widget extension, started as a child process that reads
// requests on a pipe to its standard input and writes answers, one per line, on a pipe
// from its standard output. Its standard error is the host's own, so its diagnostics
// pass through.
//
// Promises:
// - No call waits longer than the time limit given to start() (plus kGracePeriod to
//   end a process that does not stop). An extension that does not answer in time,
//   closes its output, crashes or exits is ended (SIGTERM, then SIGKILL after
//   kGracePeriod) and reaped, and the failure is described in one line that names
//   the extension, e.g. "the extension at /x crashed (signal 11, SIGSEGV) before
//   answering".
// - The destructor closes the pipes and ends and reaps a process still running, so
//   no child outlives its ExtensionProcess and none is left a zombie.
// - start() sets SIGPIPE to be ignored in this process (so that writing to an
//   extension that has gone away fails with EPIPE instead of ending the host); the
//   child starts with SIGPIPE at its default and no signal blocked.
// Not copyable; movable. Use from one thread at a time.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "host_error.h"

namespace host {

class ExtensionProcess {
 public:
  using Duration = std::chrono::milliseconds;

  // An answer line longer than this ends the exchange: no answer of the protocol
  // comes near it, and the host must not hold an unbounded line in memory.
  static constexpr std::size_t kMaxAnswerBytes = 64 * 1024 * 1024;
  static constexpr Duration kGracePeriod{500};

  // Starts `executable` with no arguments and the host's environment. Fails (exit
  // code `unavailable`) when it cannot be started. `timeLimit` bounds every later
  // call.
  static std::expected<ExtensionProcess, HostError> start(const std::filesystem::path& executable, Duration timeLimit);

  ExtensionProcess(ExtensionProcess&& other) noexcept;
  ExtensionProcess& operator=(ExtensionProcess&& other) noexcept;
  ExtensionProcess(const ExtensionProcess&) = delete;
  ExtensionProcess& operator=(const ExtensionProcess&) = delete;
  ~ExtensionProcess();

  // Writes `line` followed by '\n', then returns the next line the extension writes
  // (without its '\n'), all within the time limit. On failure the process has been
  // ended and reaped, and later calls fail.
  std::expected<std::string, HostError> exchange(std::string_view line);

  // Writes `bytes` as they are (any number of lines, or part of one) within the time
  // limit, reading whatever the extension answers meanwhile so that neither side
  // blocks on a full pipe.
  std::expected<void, HostError> send(std::string_view bytes);

  // The next line the extension writes (without its '\n'), within the time limit.
  std::expected<std::string, HostError> receiveLine();

  // Closes the extension's input once everything queued has been written: the next
  // exchange is the last, and the extension may exit as soon as it has answered.
  void closeInputOnceWritten() { closeOnceWritten_ = true; }

  // Closes the extension's input and waits, within the time limit, for it to exit.
  // Succeeds when it exits with status 0; otherwise describes how it ended. Output
  // written after the last answer is discarded. The process is reaped either way.
  std::expected<void, HostError> finish();

  // Whether the process has not yet been reaped.
  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

 private:
  ExtensionProcess(std::filesystem::path executable, pid_t pid, int input, int output, Duration timeLimit);

  using Clock = std::chrono::steady_clock;

  // Writes `outgoing_` and reads into `incoming_` until the write is done and, when
  // `wantLine`, a whole line has arrived; fails at `deadline`, at end of output, or
  // when a line grows too long.
  std::expected<void, HostError> pump(Clock::time_point deadline, bool wantLine);
  std::optional<std::string> takeLine();
  // A failure when the process has failed before or has been reaped.
  std::optional<HostError> usable() const;
  // After the extension `what` ("closed its output") before answering: how it ended,
  // waiting a moment (no later than `deadline`) to reap it, else ending it.
  HostError endedEarly(Clock::time_point deadline, const std::string& what);
  // Ends the process and fails with `what`.
  HostError failAndEnd(const std::string& what);
  std::optional<int> waitUntil(Clock::time_point deadline);
  void closeInput();
  void closeOutput();
  void end();
  std::string subject() const;
  std::string limitText() const;

  std::filesystem::path executable_;
  pid_t pid_ = -1;
  int input_ = -1;   // our end of the extension's standard input
  int output_ = -1;  // our end of the extension's standard output
  Duration timeLimit_;
  std::string outgoing_;
  std::string incoming_;
  std::size_t scanned_ = 0;
  bool failed_ = false;
  bool closeOnceWritten_ = false;
};

// How a process ended, from its waitpid status: "exited with status 3",
// "crashed (signal 11, SIGSEGV)".
std::string describeWaitStatus(int status);

}  // namespace host
