#include "proc_status.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

namespace bench {

namespace {

// The number of kB on the line that starts with `field` (e.g. "VmRSS:").
std::optional<std::uint64_t> kibField(std::string_view text, std::string_view field) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!line.starts_with(field)) continue;
    line.remove_prefix(field.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    std::uint64_t value = 0;
    const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    const std::string_view unit(rest, static_cast<std::size_t>(line.data() + line.size() - rest));
    if (error != std::errc{} || unit != " kB") return std::nullopt;
    return value;
  }
  return std::nullopt;
}

}  // namespace

std::optional<MemoryStatus> parseMemoryStatus(std::string_view statusText) {
  const auto resident = kibField(statusText, "VmRSS:");
  const auto peak = kibField(statusText, "VmHWM:");
  if (!resident || !peak) return std::nullopt;
  return MemoryStatus{*resident, *peak};
}

namespace {

// The text of /proc/PID/<name>, read with plain system calls: the driver samples while
// it times other work. None when the process is gone.
std::optional<std::string> readProcFile(pid_t pid, const char* name) {
  const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::array<char, 8192> buffer{};
  std::size_t size = 0;
  for (;;) {
    const ssize_t count = ::read(fd, buffer.data() + size, buffer.size() - size);
    if (count <= 0) break;
    size += static_cast<std::size_t>(count);
    if (size == buffer.size()) break;
  }
  ::close(fd);
  return std::string(buffer.data(), size);
}

}  // namespace

std::optional<MemoryStatus> readMemoryStatus(pid_t pid) {
  const auto text = readProcFile(pid, "status");
  if (!text) return std::nullopt;
  return parseMemoryStatus(*text);
}

std::optional<std::uint64_t> parseCpuTicks(std::string_view statText) {
  const auto close = statText.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view rest = statText.substr(close + 1);
  // Fields from the third (state) on; utime and stime are the 12th and 13th of these.
  std::uint64_t ticks = 0;
  for (int field = 3; field <= 15; ++field) {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    const auto end = std::min(rest.find(' '), rest.size());
    const std::string_view value = rest.substr(0, end);
    rest.remove_prefix(end);
    if (value.empty()) return std::nullopt;
    if (field >= 14) {
      std::uint64_t number = 0;
      const auto [last, error] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (error != std::errc{} || last != value.data() + value.size()) return std::nullopt;
      ticks += number;
    }
  }
  return ticks;
}

std::optional<std::uint64_t> parseRunNanoseconds(std::string_view schedstatText) {
  const auto end = std::min(schedstatText.find(' '), schedstatText.size());
  std::uint64_t value = 0;
  const auto [last, error] = std::from_chars(schedstatText.data(), schedstatText.data() + end, value);
  if (end == 0 || error != std::errc{} || last != schedstatText.data() + end) return std::nullopt;
  return value;
}

std::optional<double> readCpuSeconds(pid_t pid) {
  // Each thread's time on a processor, in nanoseconds, where the kernel keeps it.
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* folder = ::opendir(tasks.c_str())) {
    std::uint64_t total = 0;
    bool every = true;
    int threads = 0;
    while (const dirent* entry = ::readdir(folder)) {
      if (entry->d_name[0] == '.') continue;
      const auto text = readProcFile(pid, ("task/" + std::string(entry->d_name) + "/schedstat").c_str());
      const auto nanoseconds = text ? parseRunNanoseconds(*text) : std::nullopt;
      if (!nanoseconds) every = false;
      total += nanoseconds.value_or(0);
      ++threads;
    }
    ::closedir(folder);
    if (every && threads > 0) return static_cast<double>(total) * 1e-9;
  }
  const auto text = readProcFile(pid, "stat");
  if (!text) return std::nullopt;
  const auto ticks = parseCpuTicks(*text);
  if (!ticks) return std::nullopt;
  return static_cast<double>(*ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace bench
