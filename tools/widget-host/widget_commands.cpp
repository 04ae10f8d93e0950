#include "widget_commands.h"

#include "extension_process.h"
#include "input_file.h"
#include "json_rpc.h"
#include "platform/foundation/data.h"
#include "quoted_text.h"
#include "result_text.h"

namespace host {

namespace {

// The protocol refuses longer request lines (docs/protocol.md).
constexpr std::size_t kMaxRequestBytes = 1024 * 1024;
constexpr std::int64_t kRequestId = 1;

// Where the coded records of an activity request came from, for messages.
struct RecordSources {
  std::string attributes;
  std::string state;
};

std::string sourceText(const std::string& file) { return file == "-" ? std::string("standard input") : inQuotes(file); }

const Json* member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

std::string stringMember(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

// "the coded state from "s.json" does not decode: keyNotFound at "isAutomated": ...",
// built from the error's data; the extension's own message when the data is missing.
std::string undecodableText(const RpcError& error, const RecordSources* sources) {
  const std::string record = stringMember(error.data, "record");
  const std::string kind = stringMember(error.data, "kind");
  if (record.empty() || kind.empty()) return error.message;
  std::string out = "the coded " + record;
  if (sources != nullptr) {
    if (record == "state") out += " from " + sourceText(sources->state);
    if (record == "attributes") out += " from " + sourceText(sources->attributes);
  }
  out += record == "attributes" ? " do not decode: " : " does not decode: ";
  out += kind;
  if (const Json* path = member(error.data, "codingPath"); path != nullptr && path->is_array() && !path->empty()) {
    out += " at ";
    bool first = true;
    for (const Json& key : *path) {
      if (!first) out += '.';
      first = false;
      out += inQuotes(key.is_string() ? key.get<std::string>() : key.dump());
    }
  }
  out += ": " + stringMember(error.data, "reason");
  return out;
}

HostError refusal(const RpcError& error, const RecordSources* sources) {
  if (error.code == kUndecodableRecordCode) return HostError{ExitCode::dataError, undecodableText(error, sources)};
  if (error.code == kInvalidParamsCode) {
    std::string message = "the extension refused the request: " + error.message;
    if (const Json* families = member(error.data, "families"); families != nullptr && families->is_array()) {
      std::string list;
      for (const Json& family : *families) {
        list += (list.empty() ? "" : ", ") + (family.is_string() ? family.get<std::string>() : family.dump());
      }
      message += " (it declares: " + (list.empty() ? std::string("none") : list) + ")";
    }
    return HostError{ExitCode::usage, message};
  }
  return HostError{ExitCode::unavailable,
                   "the extension answered with error " + std::to_string(error.code) + ": " + error.message};
}

// One request to a freshly started extension, which is then closed and reaped.
std::expected<Json, HostError> call(const ExtensionOptions& extension, std::string_view method, const Json& params,
                                    const RecordSources* sources = nullptr) {
  const std::string line = requestLine(kRequestId, method, params);
  if (line.size() > kMaxRequestBytes) {
    return std::unexpected(HostError{ExitCode::dataError, "the request would be " + std::to_string(line.size()) +
                                                              " bytes long, more than the protocol's limit of " +
                                                              std::to_string(kMaxRequestBytes)});
  }
  auto process = ExtensionProcess::start(extension.executable, extension.timeLimit);
  if (!process) return std::unexpected(process.error());
  auto answerLine = process->exchange(line);
  if (!answerLine) return std::unexpected(answerLine.error());
  auto answer = readAnswer(*answerLine, kRequestId);
  if (!answer) return std::unexpected(answer.error());  // the process is ended on the way out
  if (auto finished = process->finish(); !finished) return std::unexpected(finished.error());
  if (answer->error) return std::unexpected(refusal(*answer->error, sources));
  if (!answer->result.is_object()) {
    return std::unexpected(
        HostError{ExitCode::unavailable, "the extension's result is not an object: " + excerpt(answer->result.dump())});
  }
  return std::move(answer->result);
}

std::string jsonOutput(const Json& json) { return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"; }

}  // namespace

std::expected<std::string, HostError> widgetsCommand(const ExtensionOptions& extension,
                                                     const std::optional<std::string>& locale, OutputFormat format) {
  Json params = Json::object();
  if (locale) params["locale"] = *locale;
  auto result = call(extension, "widgets", params);
  if (!result) return std::unexpected(result.error());
  return format == OutputFormat::json ? jsonOutput(*result) : widgetsText(*result);
}

std::expected<std::string, HostError> entriesCommand(const ExtensionOptions& extension, const EntryRequest& request,
                                                     OutputFormat format) {
  Json context = Json::object();
  if (request.preview) context["isPreview"] = true;
  if (request.locale) context["locale"] = *request.locale;
  Json params = {{"kind", request.kind}, {"family", request.family}};
  if (!context.empty()) params["context"] = std::move(context);
  auto result = call(extension, request.method, params);
  if (!result) return std::unexpected(result.error());
  return format == OutputFormat::json ? jsonOutput(*result) : entriesText(*result);
}

std::expected<std::string, HostError> activityCommand(const ExtensionOptions& extension, const ActivityRequest& request,
                                                      OutputFormat format) {
  if (request.attributesFile == "-" && request.stateFile == "-") {
    return std::unexpected(HostError{ExitCode::usage, "only one of --attributes and --state can be standard input"});
  }
  auto attributes = readInputFile(request.attributesFile, "attributes file", kMaxRequestBytes);
  if (!attributes) return std::unexpected(attributes.error());
  auto state = readInputFile(request.stateFile, "state file", kMaxRequestBytes);
  if (!state) return std::unexpected(state.error());
  Json params = {{"attributes", foundation::base64Encoded(*attributes)},
                 {"state", foundation::base64Encoded(*state)},
                 {"presentation", request.presentation}};
  if (request.attributesType) params["attributesType"] = *request.attributesType;
  if (request.locale) params["locale"] = *request.locale;
  const RecordSources sources{request.attributesFile, request.stateFile};
  auto result = call(extension, "activity", params, &sources);
  if (!result) return std::unexpected(result.error());
  return format == OutputFormat::json ? jsonOutput(*result) : activityText(*result);
}

}  // namespace host
