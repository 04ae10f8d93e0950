#include "runtime_file.h"

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "hex.h"
#include "json_rpc.h"
#include "platform/foundation/atomic_file.h"
#include "platform/foundation/hasher.h"
#include "quoted_text.h"

namespace host {

namespace fs = std::filesystem;

namespace {

// Whether `pid` runs a live host: the process exists and runs widget-host.
bool liveHostRuns(pid_t pid) {
  if (pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH)) return false;
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.starts_with("widget-host");
}

// `folder`, made if missing, when it is a folder of this user's that nobody else may
// enter.
std::expected<void, HostError> privateFolder(const fs::path& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return std::unexpected(
        HostError{ExitCode::cannotCreate,
                  "cannot make the runtime folder " + inQuotes(folder.string()) + ": " + std::strerror(errno)});
  }
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
      (info.st_mode & 077) != 0) {
    return std::unexpected(HostError{ExitCode::cannotCreate, "the runtime folder " + inQuotes(folder.string()) +
                                                                 " is not a folder private to this user"});
  }
  return {};
}

}  // namespace

std::expected<fs::path, HostError> runtimeFilePath(const fs::path& preferences) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  fs::path folder;
  if (runtime != nullptr && *runtime == '/') {
    folder = fs::path(runtime) / "widget-host";
  } else {
    folder = fs::path("/tmp") / ("widget-host-" + std::to_string(::getuid()));
  }
  if (auto made = privateFolder(folder); !made) return std::unexpected(made.error());
  foundation::Hasher hasher;
  hasher.combineText(fs::weakly_canonical(preferences).string());
  const auto hash = static_cast<std::uint64_t>(hasher.finalize());
  std::string bytes(reinterpret_cast<const char*>(&hash), sizeof hash);
  return folder / ("live-" + hexDigits(bytes) + ".json");
}

std::expected<LiveAddress, HostError> readRuntimeFile(const fs::path& file) {
  std::ifstream in(file);
  if (!in) {
    return std::unexpected(HostError{ExitCode::unavailable, "no live host runs for this preferences folder (no " +
                                                                inQuotes(file.string()) +
                                                                "); start one with widget-host serve or watch"});
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const Json json = Json::parse(text, nullptr, false);
  LiveAddress address;
  if (json.is_object() && json.value("url", Json()).is_string() && json.value("token", Json()).is_string() &&
      json.value("host", Json()).is_string() && json.value("port", Json()).is_number_integer() &&
      json.value("pid", Json()).is_number_integer()) {
    address = LiveAddress{json["url"], json["host"], json["port"], json["token"], json["pid"].get<pid_t>()};
  }
  if (!liveHostRuns(address.pid)) {
    std::error_code ignored;
    fs::remove(file, ignored);
    return std::unexpected(
        HostError{ExitCode::unavailable, "no live host runs for this preferences folder (the runtime file " +
                                             inQuotes(file.string()) + " was stale, left by process " +
                                             std::to_string(address.pid) + ", and is removed)"});
  }
  return address;
}

std::expected<void, HostError> writeRuntimeFile(const fs::path& file, const LiveAddress& address) {
  if (auto other = readRuntimeFile(file); other && other->pid != ::getpid()) {
    return std::unexpected(
        HostError{ExitCode::unavailable, "a live host already runs for this preferences folder: " + other->url +
                                             " (process " + std::to_string(other->pid) + ")"});
  }
  const Json json = {{"url", address.url},
                     {"host", address.host},
                     {"port", address.port},
                     {"token", address.token},
                     {"pid", address.pid}};
  auto written = foundation::writeFileAtomically(file, json.dump() + "\n", foundation::Overwrite::replace);
  if (!written) return std::unexpected(HostError{ExitCode::cannotCreate, written.error()});
  // The folder lets nobody else in already; the file says so too.
  std::error_code error;
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, error);
  if (error)
    return std::unexpected(
        HostError{ExitCode::cannotCreate, "cannot make " + inQuotes(file.string()) + " private: " + error.message()});
  return {};
}

std::string newToken() {
  char bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t read = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (read > 0) got += static_cast<std::size_t>(read);
  }
  return hexDigits(std::string_view(bytes, sizeof bytes));
}

}  // namespace host
