// Checks for the bundle main loop: protocol lines answered by the extension's own
// widgets through WidgetHostServer::handleLine.

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

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

// The checker's own reading of a request line: whether it is JSON, whether it is an
// object, and its "id" member, the first one when the name occurs twice (the server's
// rule). Read through SAX events, so that no tree is built and depth costs nothing.
struct RequestShape : nlohmann::json_sax<Json> {
  bool isObject = false;
  bool hasId = false;
  Json id;

  bool null() override { return scalar(nullptr); }
  bool boolean(bool value) override { return scalar(value); }
  bool number_integer(number_integer_t value) override { return scalar(value); }
  bool number_unsigned(number_unsigned_t value) override { return scalar(value); }
  bool number_float(number_float_t value, const string_t&) override { return scalar(value); }
  bool string(string_t& value) override { return scalar(value); }
  bool binary(binary_t&) override { return scalar(nullptr); }
  bool start_object(std::size_t) override { return open(true); }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(false); }
  bool end_array() override { return close(); }
  bool key(string_t& name) override {
    takingId_ = depth_ == 1 && name == "id" && !hasId;
    if (takingId_) hasId = true;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  bool scalar(Json value) {
    if (takingId_ && depth_ == 1) id = std::move(value);
    takingId_ = false;
    return true;
  }
  bool open(bool object) {
    if (depth_ == 0) isObject = object;
    if (depth_ == 1) takingId_ = false;  // an id that is an object or array is kept as null
    ++depth_;
    return true;
  }
  bool close() {
    --depth_;
    return true;
  }

  int depth_ = 0;
  bool takingId_ = false;
};

// What must hold for the answer (or the silence) to one line.
CheckResult checkAnswer(std::string_view line, const std::optional<std::string>& answer) {
  RequestShape request;
  const bool parsed = Json::sax_parse(line, &request, nlohmann::detail::input_format_t::json, /*strict=*/true);
  const bool isObject = parsed && request.isObject;
  const bool hasId = isObject && request.hasId;

  if (!answer) {
    if (isBlank(line)) return std::nullopt;
    if (!parsed) return std::nullopt;             // the two parsers may differ at the edges
    if (isObject && !hasId) return std::nullopt;  // a notification
    return std::string("a request that is not a notification got no answer");
  }
  if (isBlank(line)) return std::string("a blank line got an answer");
  if (answer->find('\n') != std::string::npos) return "an answer spans more than one line: " + *answer;
  const Json message = Json::parse(*answer, nullptr, /*allow_exceptions=*/false);
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
  if (hasId && (request.id.is_string() || request.id.is_number_integer()) && message["id"] != request.id) {
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
