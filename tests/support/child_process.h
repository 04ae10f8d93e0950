// ChildProcess: a real program started with its standard input and output on pipes to
// this process (its standard error too, when asked), for the tests and the benchmarks
// that drive one.
//
// Every timed call has a deadline, so a child that hangs fails its caller instead of
// hanging it. readLine(std::string&) has none: it is one plain blocking read whenever
// the buffer holds no whole line, for the benchmarks that time the request path. The
// pipes are close-on-exec, so a child never inherits another child's. SIGPIPE is
// ignored from the first start on, so writing to a child that went away fails instead
// of ending this process. Destroying a ChildProcess kills the child (with its process
// group when it has one of its own) and reaps it. The input side and the output side
// may be used from two threads at once, each side from one thread only.
//
// run(): a program run to its end with bytes on its standard input, collecting its exit
// status, output and error; one that outlives the limit is killed and reported as kHung.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <expected>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tul::testing {

// Environment changes: a value sets the variable, none removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// With `own`, the child leads a process group of its own, and whatever of that group is
// left when the child ends or is killed (a browser's helper processes) is killed with it.
enum class ProcessGroup { shared, own };

struct ChildOptions {
  EnvironmentChanges changes;
  bool captureError = false;  // standard error on a pipe, collected by readToEnd()
  ProcessGroup group = ProcessGroup::shared;
};

// A timeout that never passes: the call blocks until it can finish.
inline constexpr std::chrono::milliseconds kNoDeadline{-1};
inline constexpr std::chrono::milliseconds kDefaultTimeout{10'000};

inline constexpr int kHung = -2;

struct RunResult {
  int exitCode = -1;  // the exit status, 128 + signal when killed by one, or kHung
  std::string out;
  std::string err;
};

RunResult run(const std::vector<std::string>& argv, const std::string& input = "",
              const EnvironmentChanges& changes = {}, std::chrono::milliseconds limit = std::chrono::seconds(30),
              ProcessGroup group = ProcessGroup::shared);

class ChildProcess {
 public:
  // Starts argv[0] (a path) with the given arguments, or says why it could not.
  static std::expected<ChildProcess, std::string> start(const std::vector<std::string>& argv,
                                                        const ChildOptions& options = {});

  ChildProcess(ChildProcess&&) noexcept;
  ChildProcess& operator=(ChildProcess&&) noexcept;
  ~ChildProcess();

  pid_t pid() const;

  // Writes all of `bytes` to the child's input; false when the child no longer reads
  // or the deadline passed first.
  bool write(std::string_view bytes, std::chrono::milliseconds timeout = kDefaultTimeout);

  // The next line of the child's output without its '\n'; none at the end of its output
  // (an unfinished last line stays for readToEnd) or when the deadline passes first.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout = kDefaultTimeout);
  // The same into `line`, blocking without a deadline; false at the end of the output.
  bool readLine(std::string& line);

  // Everything the child writes until it closes its output (or the deadline passes);
  // with captureError, its standard error meanwhile goes to errorOutput().
  std::string readToEnd(std::chrono::milliseconds timeout = kDefaultTimeout);
  const std::string& errorOutput() const;

  // Closes the child's input, which tells a line server to finish.
  void closeInput();
  void kill(int signal);

  // The exit status (128 + the signal's number when one ended it), or none while it
  // still runs at the deadline.
  std::optional<int> wait(std::chrono::milliseconds timeout = kDefaultTimeout);

  // The child's peak resident memory in KiB (VmHWM), while it runs.
  std::optional<long> peakResidentKiB() const;

 private:
  struct State;
  explicit ChildProcess(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
  friend RunResult run(const std::vector<std::string>&, const std::string&, const EnvironmentChanges&,
                       std::chrono::milliseconds, ProcessGroup);
};

}  // namespace tul::testing
