// Checks for the bundle main loop: protocol lines answered by the extension's own
// widgets through WidgetHostServer::handleLine.

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <regex>
#include <utility>

#include "app/tul_widget_bundle.h"
#include "input_checks.h"
#include "platform/widgetkit/protocol_error_codes.h"
#include "platform/widgetkit/widget_host_server.h"

namespace tul::fuzzing {
namespace {

using Json = nlohmann::json;

// The error codes of docs/protocol.md. -32603 (internal error) is left out on
// purpose: the extension's own widgets always complete their entries, so an internal
// error is a failed request.
constexpr std::array<int, 5> kDocumentedCodes = {widgetkit::kParseError, widgetkit::kInvalidRequest,
                                                 widgetkit::kMethodNotFound, widgetkit::kInvalidParams,
                                                 widgetkit::kUndecodableRecord};

bool isBlank(std::string_view line) { return line.find_first_not_of(" \t\r") == std::string_view::npos; }

// The checker's own reading of a request line: the top level alone, with its "id"
// member only, the first one when the name occurs twice (the server's rule). Every
// other member, and all that is nested below the id, is discarded as it is read, so
// that a deep or long line builds no tree. Discarded when the line is no JSON.
Json requestShape(std::string_view line) {
  bool seenId = false;
  bool idNext = false;
  using Event = Json::parse_event_t;
  return Json::parse(
      line,
      [&](int depth, Event event, Json& parsed) {
        if (depth == 0 || event == Event::object_end || event == Event::array_end) return true;
        if (depth > 1) return false;
        if (event == Event::key) return idNext = parsed == "id" && !std::exchange(seenId, true);
        return std::exchange(idNext, false);
      },
      /*allow_exceptions=*/false);
}

// The answer read as JSON. The server answers an id it cannot hold as a number (past
// 64 bits, or past a double's range, like 1e99999) as it was written, which is valid
// JSON that this reader refuses as out of range; the id comes last in every answer, so
// such an answer is read with 0 in its place.
Json parsedAnswer(const std::string& answer) {
  Json message = Json::parse(answer, nullptr, /*allow_exceptions=*/false);
  static const std::regex kWrittenNumberId(R"(,"id":-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?\}$)");
  if (message.is_discarded() && std::regex_search(answer, kWrittenNumberId)) {
    const std::string withZeroId = answer.substr(0, answer.rfind(",\"id\":")) + ",\"id\":0}";
    message = Json::parse(withZeroId, nullptr, /*allow_exceptions=*/false);
  }
  return message;
}

// What must hold for the answer (or the silence) to one line.
CheckResult checkAnswer(std::string_view line, const std::optional<std::string>& answer) {
  const Json request = requestShape(line);
  const bool parsed = !request.is_discarded();
  const bool isObject = request.is_object();
  const bool hasId = isObject && request.contains("id");

  if (!answer) {
    if (isBlank(line)) return std::nullopt;
    if (!parsed) return std::nullopt;             // the two parsers may differ at the edges
    if (isObject && !hasId) return std::nullopt;  // a notification
    return std::string("a request that is not a notification got no answer");
  }
  if (isBlank(line)) return std::string("a blank line got an answer");
  if (answer->find('\n') != std::string::npos) return "an answer spans more than one line: " + *answer;
  const Json message = parsedAnswer(*answer);
  if (!message.is_object()) return "an answer is not a JSON object: " + *answer;
  if (message.value("jsonrpc", "") != "2.0") return "an answer without \"jsonrpc\": \"2.0\": " + *answer;
  if (!message.contains("id")) return "an answer without \"id\": " + *answer;
  if (message.contains("result") == message.contains("error")) {
    return "an answer needs exactly one of \"result\" and \"error\": " + *answer;
  }
  if (const auto error = message.find("error"); error != message.end()) {
    if (!error->is_object() || !error->contains("code") || !(*error)["code"].is_number_integer()) {
      return "an error without an integer code: " + *answer;
    }
    const int code = (*error)["code"].get<int>();
    if (std::find(kDocumentedCodes.begin(), kDocumentedCodes.end(), code) == kDocumentedCodes.end()) {
      return "an error with a code the protocol does not document: " + *answer;
    }
    if (!(*error)["message"].is_string() || (*error)["message"].get_ref<const std::string&>().empty()) {
      return "an error without a message: " + *answer;
    }
    if (code == widgetkit::kParseError) return std::nullopt;  // the checker's parser may disagree on what is JSON
  }
  // A request's string or integer id comes back as it was sent.
  if (hasId && (request["id"].is_string() || request["id"].is_number_integer()) && message["id"] != request["id"]) {
    return "an answer carries another id than its request: " + *answer;
  }
  return std::nullopt;
}

}  // namespace

struct ProtocolRequestCheck::Server {
  widgetkit::WidgetHostServer server;
};

ProtocolRequestCheck::ProtocolRequestCheck(const std::filesystem::path& bundleFolder)
    : server_(std::make_unique<Server>(
          Server{widgetkit::WidgetHostServer(widgetkit::bundleWidgets(TulWidgetBundle{}), ui::Bundle(bundleFolder))})) {
}

ProtocolRequestCheck::~ProtocolRequestCheck() = default;

CheckResult ProtocolRequestCheck::operator()(std::string_view input) const {
  // Every line, as the loop reads them: split at '\n', and a last line without one.
  while (!input.empty()) {
    const std::size_t newline = input.find('\n');
    const std::string_view line = input.substr(0, newline);
    input.remove_prefix(newline == std::string_view::npos ? input.size() : newline + 1);
    if (line.size() > widgetkit::WidgetHostServer::kMaxLineBytes) continue;  // refused before parsing
    if (auto failure = checkAnswer(line, server_->server.handleLine(line))) return failure;
  }
  return std::nullopt;
}

}  // namespace tul::fuzzing
