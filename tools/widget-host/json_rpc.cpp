#include "json_rpc.h"

#include <algorithm>

namespace host {

namespace {

HostError broken(const std::string& what, std::string_view line) {
  return HostError{ExitCode::unavailable, "the extension's answer " + what + ": " + excerpt(line)};
}

// The deepest nesting of arrays and objects in `line`, counted outside strings.
std::size_t nestingDepth(std::string_view line) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : line) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

std::string excerpt(std::string_view text, std::size_t limit) {
  const bool cut = text.size() > limit;
  std::string quoted = Json(std::string(text.substr(0, limit))).dump(-1, ' ', false, Json::error_handler_t::replace);
  return cut ? quoted + "..." : quoted;
}

std::string requestLine(std::int64_t id, std::string_view method, const Json& params) {
  Json request = {{"jsonrpc", "2.0"}, {"id", id}, {"method", std::string(method)}};
  if (!params.is_null()) request["params"] = params;
  return request.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::expected<RpcAnswer, HostError> readAnswer(std::string_view line, std::int64_t id) {
  if (nestingDepth(line) > kMaxAnswerDepth) {
    return std::unexpected(broken("nests deeper than " + std::to_string(kMaxAnswerDepth) + " levels", line));
  }
  Json answer = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (answer.is_discarded()) return std::unexpected(broken("is not JSON", line));
  if (!answer.is_object()) return std::unexpected(broken("is not a JSON-RPC answer object", line));
  const auto version = answer.find("jsonrpc");
  if (version == answer.end() || *version != "2.0") {
    return std::unexpected(broken("lacks \"jsonrpc\": \"2.0\"", line));
  }
  const auto result = answer.find("result");
  const auto error = answer.find("error");
  if ((result == answer.end()) == (error == answer.end())) {
    return std::unexpected(broken("must hold exactly one of \"result\" and \"error\"", line));
  }
  const auto answeredId = answer.find("id");
  const bool idMatches =
      answeredId != answer.end() && answeredId->is_number_integer() && answeredId->get<std::int64_t>() == id;
  const bool nullIdError = error != answer.end() && answeredId != answer.end() && answeredId->is_null();
  if (!idMatches && !nullIdError) {
    return std::unexpected(broken("does not answer request " + std::to_string(id), line));
  }
  if (result != answer.end()) return RpcAnswer{std::move(*result), std::nullopt};

  const Json& body = *error;
  const auto code = body.is_object() ? body.find("code") : body.end();
  const auto message = body.is_object() ? body.find("message") : body.end();
  if (!body.is_object() || code == body.end() || !code->is_number_integer() || message == body.end() ||
      !message->is_string()) {
    return std::unexpected(broken("holds an error without an integer \"code\" and a string \"message\"", line));
  }
  RpcError rpcError{code->get<std::int64_t>(), message->get<std::string>(), nullptr};
  if (const auto data = body.find("data"); data != body.end()) rpcError.data = *data;
  return RpcAnswer{nullptr, std::move(rpcError)};
}

const Json* member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

}  // namespace host
