// JsonRpcLineServer: JSON-RPC 2.0 over a pair of file descriptors, one message per
// line, for whatever methods an RpcMethods carries. It knows the envelope and nothing
// of the methods: it reads bounded lines, checks "jsonrpc", "id", "method" and
// "params", hands the method its params and the answer line to write its result into,
// and writes one answer line per request with an id, in the order the requests came.
//
// Every bad line gets a JSON-RPC error that names the fault, and the loop goes on. A
// line over kMaxLineBytes is refused without being held in memory. Lines are parsed
// where they were read, without a copy; the server keeps no state between requests.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {
class JSONTextWriter;
}
namespace simdjson::dom {
class element;
class object;
}  // namespace simdjson::dom

namespace widgetkit {

// A failed request: the JSON-RPC error to answer with (codes: protocol_error_codes.h).
// `data`, when not empty, is a JSON value's text.
struct RpcError {
  int code;
  std::string message;
  std::string data = {};
};

// `text` as a JSON string, for messages that name what was wrong.
std::string quoted(std::string_view text);

// The params object of one request (none when the request has no "params"), read with
// type checks whose errors name the param.
class RpcParams {
 public:
  explicit RpcParams(const simdjson::dom::object* object) : object_(object) {}

  // The member `name`, or none.
  std::optional<simdjson::dom::element> member(std::string_view name) const;
  // The string member `name`, none when it is missing; an error when it is no string.
  std::expected<std::optional<std::string_view>, RpcError> string(std::string_view name) const;
  // As string(), and an error when it is missing.
  std::expected<std::string_view, RpcError> requiredString(std::string_view name) const;

 private:
  const simdjson::dom::object* object_;
};

// The methods a JsonRpcLineServer serves.
class RpcMethods {
 public:
  // Writes the result of calling `method` with `params` into `out` as one JSON value,
  // or returns the error to answer with (whatever was written by then is dropped).
  virtual std::expected<void, RpcError> call(std::string_view method, const RpcParams& params,
                                             foundation::JSONTextWriter& out) const = 0;

 protected:
  ~RpcMethods() = default;
};

class JsonRpcLineServer {
 public:
  static constexpr std::size_t kMaxLineBytes = 1024 * 1024;

  explicit JsonRpcLineServer(const RpcMethods& methods) : methods_(methods) {}

  // The answer to one request line (without its '\n'): one line of JSON without '\n',
  // or none for a notification or a blank line.
  std::optional<std::string> handleLine(std::string_view line) const;

  // Serves requests read from `inputFd` until it reaches end of file, writing answers
  // to `outputFd`. Returns 0 at end of input, 1 when the answers cannot be written.
  // SIGPIPE is ignored from then on, so that a reader that goes away ends the loop.
  // While it waits for input, the process gives back the file pages it touched only to
  // start and to answer its first request (foundation::releaseProgramPages), so that
  // they do not stay resident while it serves.
  int serve(int inputFd, int outputFd) const;

 private:
  // Writes the answer to `line` into `out` (emptied first); false when there is none.
  // `padded`: the 64 bytes after the line may be read too, so it is parsed in place.
  bool answer(std::string_view line, foundation::JSONTextWriter& out, bool padded) const;

  const RpcMethods& methods_;
};

}  // namespace widgetkit
