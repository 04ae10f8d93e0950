// What Linux tells about a running process under /proc/PID: from `status`, its resident
// set now (VmRSS) and the largest it has been (VmHWM, the high-water mark); from `stat`,
// the processor time it has used (from each thread's `schedstat` where there is one).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace bench {

struct MemoryStatus {
  std::uint64_t residentKiB = 0;      // VmRSS
  std::uint64_t peakResidentKiB = 0;  // VmHWM
};

// Reads both from the text of a status file; none when either line is missing or not
// of the form "VmRSS:\t  1234 kB".
std::optional<MemoryStatus> parseMemoryStatus(std::string_view statusText);

// Reads /proc/PID/status; none when the process is gone or the file unreadable.
std::optional<MemoryStatus> readMemoryStatus(pid_t pid);

// User plus system time in clock ticks from the text of a stat file (fields 14 and 15,
// counted after the parenthesised command name, which may itself hold spaces and ')').
std::optional<std::uint64_t> parseCpuTicks(std::string_view statText);

// The first field of a schedstat file: the time a thread has run, in nanoseconds.
std::optional<std::uint64_t> parseRunNanoseconds(std::string_view schedstatText);

// Processor time used so far by the threads `pid` has now, in seconds: from each
// thread's schedstat (nanoseconds) where the kernel keeps them, else from `stat`, to
// a clock tick (10 ms), counting threads that have ended too.
std::optional<double> readCpuSeconds(pid_t pid);

}  // namespace bench
