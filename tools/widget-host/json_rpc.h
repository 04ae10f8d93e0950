// JSON-RPC 2.0 messages as the widget host writes and reads them (docs/protocol.md):
// the request line for one method call, and the reading of the answer line to it.
// Pure functions of their arguments.
#pragma once

#include <cstdint>
#include <expected>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "host_error.h"
#include "platform/widgetkit/protocol_error_codes.h"

namespace host {

// Ordered, so that results print with their members in the extension's order.
using Json = nlohmann::ordered_json;

// Answers nesting deeper than this are refused before they are parsed, so that a
// broken extension cannot exhaust the host's stack.
inline constexpr std::size_t kMaxAnswerDepth = 512;

// An error object the extension answered with (codes: protocol_error_codes.h).
struct RpcError {
  std::int64_t code = 0;
  std::string message;
  Json data;  // null when the answer carries none
};

// The extension's answer to one request: its result, or the error it answered with.
struct RpcAnswer {
  Json result;
  std::optional<RpcError> error;
};

// One request line, without its '\n'. `params` is left out when null.
std::string requestLine(std::int64_t id, std::string_view method, const Json& params);

// Reads the answer to the request `id`. An error answer with id null also counts (the
// extension could not read the request's id). Fails (exit code `unavailable`) when
// the line is not JSON, not a JSON-RPC 2.0 answer, or answers another request.
std::expected<RpcAnswer, HostError> readAnswer(std::string_view line, std::int64_t id);

// The member `key` of `object`, or none when `object` is not an object or lacks it.
const Json* member(const Json& object, std::string_view key);

// A short, quoted excerpt of `text` for messages: at most `limit` bytes.
std::string excerpt(std::string_view text, std::size_t limit = 80);

}  // namespace host
