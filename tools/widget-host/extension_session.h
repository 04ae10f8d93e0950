// ExtensionSession: one started extension and the requests the host sends it, in
// order. A command that needs one answer asks once and finishes; the gallery asks many
// times of the same process, and posts several requests before it takes their
// answers, so that the extension answers them while the host works.
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
#include <deque>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

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

  // Sends a request without waiting for its answer. The answers are taken in the order
  // their requests were posted, with nextAnswer(); a request that cannot be sent (too
  // long, or the session no longer usable) gets its failure there.
  void post(std::string_view method, const Json& params);

  // The answer to the oldest posted request whose answer has not been taken, as
  // request() would have returned it.
  std::expected<Json, HostError> nextAnswer(const std::optional<RecordSources>& sources = std::nullopt);

  // No request follows those made or posted so far: the extension's input is closed
  // once they are written, so that it exits as soon as it has answered them, while
  // the host works on the answers.
  void endRequests() { process_.closeInputOnceWritten(); }

  // Whether requests can still be made: no failure has ended the session's use.
  bool usable() const { return !broken_; }

  // Like request, and the extension's input is closed once the request is written:
  // no request may follow, and the extension exits while the host works on the answer.
  std::expected<Json, HostError> lastRequest(std::string_view method, const Json& params,
                                             const std::optional<RecordSources>& sources = std::nullopt);

  // Closes the extension's input and reaps it; fails when it does not exit cleanly.
  std::expected<void, HostError> finish();

  // Whether the extension has not yet been reaped (a failed exchange reaps it).
  bool running() const { return process_.running(); }
  pid_t pid() const { return process_.pid(); }

 private:
  explicit ExtensionSession(ExtensionProcess process) : process_(std::move(process)) {}

  // The next request's line, or why it cannot be sent.
  std::expected<std::string, HostError> lineFor(std::string_view method, const Json& params);
  // The result in the answer `answerLine` to request `id`; a failure that breaks the
  // protocol ends the session's use.
  std::expected<Json, HostError> answered(const std::expected<std::string, HostError>& answerLine, std::int64_t id,
                                          const std::optional<RecordSources>& sources);

  ExtensionProcess process_;
  std::int64_t nextId_ = 1;
  std::optional<HostError> broken_;  // why no more requests can be made
  bool answersBroken_ = false;       // broken_ came from an answer: no later answer is taken either
  std::deque<std::expected<std::int64_t, HostError>> posted_;  // posted, not yet answered: ids or failures
};

// Nothing to wait for before the request.
struct ReadyAtOnce {
  std::expected<void, HostError> operator()() const { return {}; }
};

// One request to a freshly started extension, whose input is closed once the request
// is written. `use` (Json& -> std::expected<T, HostError>) works on the result while
// the extension exits; the extension is then reaped, and a failure at any step gives
// one error: how a broken process ended outweighs what `use` made of its answer, so
// `use` must not show or write anything. `ready` (-> std::expected<void, HostError>)
// runs once the extension is started and before it is asked anything: what it does
// (loading the renderer) overlaps the extension's start, and when it fails the
// extension is asked nothing (so it stores nothing) and ends with its input closed.
template <typename Use, typename Ready = ReadyAtOnce>
auto callExtension(const ExtensionOptions& extension, std::string_view method, const Json& params,
                   const std::optional<RecordSources>& sources, Use&& use, Ready&& ready = {})
    -> std::invoke_result_t<Use&, Json&> {
  using Outcome = std::invoke_result_t<Use&, Json&>;
  auto session = ExtensionSession::start(extension);
  if (!session) return std::unexpected(session.error());
  if (auto waited = ready(); !waited) {
    static_cast<void>(session->finish());  // the first failure is the one reported
    return std::unexpected(waited.error());
  }
  auto result = session->lastRequest(method, params, sources);
  // A refusal or a strange result counts only once the extension has exited cleanly.
  if (!result && !session->running()) return std::unexpected(result.error());
  Outcome used = result ? use(*result) : Outcome(std::unexpected(result.error()));
  if (auto finished = session->finish(); !finished) return std::unexpected(finished.error());
  return used;
}

// The same, giving the result as it came.
std::expected<Json, HostError> callExtension(const ExtensionOptions& extension, std::string_view method,
                                             const Json& params,
                                             const std::optional<RecordSources>& sources = std::nullopt);

}  // namespace host
