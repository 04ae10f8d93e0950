// The runtime file: how `widget-host reload` finds the live host of a preferences
// folder. One file per preferences folder, in $XDG_RUNTIME_DIR/widget-host (else the
// private folder /tmp/widget-host-UID), holding the host's address, its per-run token
// and its process id, readable by the user alone.
//
// A file whose process no longer runs (a host that was killed) is stale: it is
// recognised as such, and a new host replaces it.
#pragma once

#include <sys/types.h>

#include <expected>
#include <filesystem>
#include <string>

#include "host_error.h"

namespace host {

struct LiveAddress {
  std::string url;  // "http://127.0.0.1:PORT/"
  std::string host;
  int port = 0;
  std::string token;
  pid_t pid = 0;
};

// The runtime file of the preferences folder `preferences`; fails (cannotCreate) when
// its folder cannot be made private to the user.
std::expected<std::filesystem::path, HostError> runtimeFilePath(const std::filesystem::path& preferences);

// The live host that `file` names. Fails with unavailable when there is none, or when
// the file is stale (it is then removed), saying which.
std::expected<LiveAddress, HostError> readRuntimeFile(const std::filesystem::path& file);

// Writes `address` to `file`, replacing a stale file; fails (unavailable) when another
// live host of the same folder runs, or (cannotCreate) when it cannot be written.
std::expected<void, HostError> writeRuntimeFile(const std::filesystem::path& file, const LiveAddress& address);

// A random token of 32 hex digits.
std::string newToken();

}  // namespace host
