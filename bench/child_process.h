// ChildProcess: a program started with its standard input and output on pipes to this
// process, for driving a line protocol; its standard error is this process's.
//
// Move-only. Destroying a child that still runs closes both pipes, kills it and reaps
// it, so no benchmark leaves a process behind. The pipes are close-on-exec here, so a
// child never inherits another child's pipes. The input and the output side may be used
// from two different threads at once; each side from one thread only.
#pragma once

#include <sys/types.h>

#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

class ChildProcess {
 public:
  // Starts `argv[0]` (a path) with the given arguments, or says why it could not.
  static std::expected<ChildProcess, std::string> start(const std::vector<std::string>& argv);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  pid_t pid() const { return pid_; }

  // Writes all of `bytes` to the child's input; false when the child no longer reads.
  bool write(std::string_view bytes);

  // The next line of the child's output without its '\n', into `line`; false at the
  // end of its output (a last line without '\n' still counts as a line).
  bool readLine(std::string& line);

  // Closes the child's input, which tells a line server to finish.
  void closeInput();

  // Waits for the child to end: its exit status, or -1 when it was killed by a signal.
  int wait();

 private:
  ChildProcess(pid_t pid, int input, int output);
  void release();

  pid_t pid_ = -1;
  int input_ = -1;   // the write end of the child's standard input
  int output_ = -1;  // the read end of the child's standard output
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // unread bytes of buffer_ are [begin_, end_)
  std::size_t end_ = 0;
};

}  // namespace bench
