#include "extension_session.h"

#include "json_rpc.h"
#include "quoted_text.h"

namespace host {

namespace {

std::string sourceText(const std::string& file) { return file == "-" ? std::string("standard input") : inQuotes(file); }

std::string stringMember(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

// "the coded state from "s.json" does not decode: keyNotFound at "isAutomated": ...",
// built from the error's data; the extension's own message when the data is missing.
std::string undecodableText(const RpcError& error, const std::optional<RecordSources>& sources) {
  const std::string record = stringMember(error.data, "record");
  const std::string kind = stringMember(error.data, "kind");
  if (record.empty() || kind.empty()) return error.message;
  std::string out = "the coded " + record;
  if (sources) {
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

HostError refusal(const RpcError& error, const std::optional<RecordSources>& sources) {
  if (error.code == widgetkit::kUndecodableRecord)
    return HostError{ExitCode::dataError, undecodableText(error, sources)};
  if (error.code == widgetkit::kInvalidParams) {
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

}  // namespace

std::expected<ExtensionSession, HostError> ExtensionSession::start(const ExtensionOptions& extension) {
  auto process = ExtensionProcess::start(extension.executable, extension.timeLimit);
  if (!process) return std::unexpected(process.error());
  return ExtensionSession(std::move(*process));
}

std::expected<std::string, HostError> ExtensionSession::lineFor(std::string_view method, const Json& params) {
  if (broken_) return std::unexpected(*broken_);
  std::string line = requestLine(nextId_, method, params);
  if (line.size() > kMaxRequestBytes) {
    return std::unexpected(HostError{ExitCode::dataError, "the request would be " + std::to_string(line.size()) +
                                                              " bytes long, more than the protocol's limit of " +
                                                              std::to_string(kMaxRequestBytes)});
  }
  ++nextId_;
  return line;
}

std::expected<Json, HostError> ExtensionSession::answered(const std::expected<std::string, HostError>& answerLine,
                                                          std::int64_t id, const std::optional<RecordSources>& sources) {
  const auto broken = [this](HostError error) {
    broken_ = error;
    answersBroken_ = true;
    return std::unexpected(std::move(error));
  };
  if (!answerLine) return broken(answerLine.error());
  auto answer = readAnswer(*answerLine, id);
  if (!answer) return broken(answer.error());
  if (answer->error) return std::unexpected(refusal(*answer->error, sources));
  if (!answer->result.is_object()) {
    return broken(
        HostError{ExitCode::unavailable, "the extension's result is not an object: " + excerpt(answer->result.dump())});
  }
  return std::move(answer->result);
}

std::expected<Json, HostError> ExtensionSession::request(std::string_view method, const Json& params,
                                                         const std::optional<RecordSources>& sources) {
  post(method, params);
  return nextAnswer(sources);
}

void ExtensionSession::post(std::string_view method, const Json& params) {
  auto line = lineFor(method, params);
  if (!line) {
    posted_.emplace_back(std::unexpected(line.error()));
    return;
  }
  line->push_back('\n');
  if (auto sent = process_.send(*line); !sent) {
    broken_ = sent.error();
    posted_.emplace_back(std::unexpected(sent.error()));
    return;
  }
  posted_.emplace_back(nextId_ - 1);
}

std::expected<Json, HostError> ExtensionSession::nextAnswer(const std::optional<RecordSources>& sources) {
  if (posted_.empty()) return std::unexpected(HostError{ExitCode::internal, "no request waits for an answer"});
  const std::expected<std::int64_t, HostError> id = std::move(posted_.front());
  posted_.pop_front();
  if (!id) return std::unexpected(id.error());
  if (answersBroken_) return std::unexpected(*broken_);
  // An answer that arrived before a later request failed to be sent still counts.
  auto line = process_.receiveLine();
  if (!line && broken_) return std::unexpected(*broken_);
  return answered(line, *id, sources);
}

std::expected<Json, HostError> ExtensionSession::lastRequest(std::string_view method, const Json& params,
                                                             const std::optional<RecordSources>& sources) {
  endRequests();
  return request(method, params, sources);
}

std::expected<void, HostError> ExtensionSession::finish() { return process_.finish(); }

std::expected<Json, HostError> callExtension(const ExtensionOptions& extension, std::string_view method,
                                             const Json& params, const std::optional<RecordSources>& sources) {
  return callExtension(extension, method, params, sources,
                       [](Json& result) -> std::expected<Json, HostError> { return std::move(result); });
}

}  // namespace host
