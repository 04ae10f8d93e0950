// ExtensionSession: one started extension and the requests the host sends it, in
// order, each answered before the next is sent. A command that needs one answer asks
// once and finishes; the gallery asks many times of the same process.
//
// Every failure is a HostError that says what and where: a record that does not
// decode names the record, its source, the failure's kind, coding path and reason
// (dataError); bad params such as an undeclared family are a usage error; any other
// error answer, a result that is not an object, or a process that misbehaves means
// the extension is unusable (unavailable). A refusal leaves the session usable (the
// extension goes on serving); any other failure ends its use: later requests fail
// with the same error, and the process is ended with the session.
// Not copyable; movable. Use from one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "extension_process.h"
#include "host_error.h"
#include "json_rpc.h"

namespace host {

struct ExtensionOptions {
  std::filesystem::path executable;
  std::chrono::milliseconds timeLimit{10'000};
};

// Where the coded records of an activity request came from ("state.json", "-"), for
// messages about records that do not decode.
struct RecordSources {
  std::string attributes;
  std::string state;
};

class ExtensionSession {
 public:
  // The protocol refuses longer request lines (docs/protocol.md).
  static constexpr std::size_t kMaxRequestBytes = 1024 * 1024;

  // Starts the extension; fails (unavailable) when it cannot be started.
  static std::expected<ExtensionSession, HostError> start(const ExtensionOptions& extension);

  // Sends one request and returns its result object. `sources`, when given, names the
  // files of an activity request's records in messages.
  std::expected<Json, HostError> request(std::string_view method, const Json& params,
                                         const std::optional<RecordSources>& sources = std::nullopt);

  // Closes the extension's input and reaps it; fails when it does not exit cleanly.
  std::expected<void, HostError> finish();

  // Whether the extension has not yet been reaped (a failed exchange reaps it).
  bool running() const { return process_.running(); }
  pid_t pid() const { return process_.pid(); }

 private:
  explicit ExtensionSession(ExtensionProcess process) : process_(std::move(process)) {}

  ExtensionProcess process_;
  std::int64_t nextId_ = 1;
  std::optional<HostError> broken_;  // why no more requests can be made
};

// One request to a freshly started extension, which is then closed and reaped before
// the result is returned, so that a failure at any step gives one error.
std::expected<Json, HostError> callExtension(const ExtensionOptions& extension, std::string_view method,
                                             const Json& params,
                                             const std::optional<RecordSources>& sources = std::nullopt);

}  // namespace host
