#include "platform/widgetkit/widget_host_server.h"

#include <malloc.h>
#include <simdjson.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <nlohmann/json.hpp>

#include "platform/foundation/data.h"
#include "platform/ui/localizer.h"
#include "platform/ui/tree_json.h"

namespace widgetkit {

namespace {

using Json = nlohmann::ordered_json;
using simdjson::dom::element;
using simdjson::dom::element_type;

constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kUndecodableRecord = -32001;
constexpr std::size_t kMaxDepth = 512;
constexpr std::size_t kKeptLineCapacity = 64 * 1024;

// A failed request: the JSON-RPC error to answer with.
struct RpcError {
  int code;
  std::string message;
  Json data = nullptr;
};

// The answer line: {"jsonrpc":"2.0","result" (or "error"):...,"id":...}. The envelope is
// written around the result's own text: putting the result into an envelope object
// copied the whole tree, a third of the time a timeline request took.
std::string answer(const Json& id, const Json& resultOrError, bool isError) {
  std::string line = isError ? R"({"jsonrpc":"2.0","error":)" : R"({"jsonrpc":"2.0","result":)";
  line += resultOrError.dump(-1, ' ', false, Json::error_handler_t::replace);
  line += R"(,"id":)";
  line += id.dump(-1, ' ', false, Json::error_handler_t::replace);
  line += '}';
  return line;
}

std::string errorAnswer(const Json& id, const RpcError& error) {
  Json body = {{"code", error.code}, {"message", error.message}};
  if (!error.data.is_null()) body["data"] = error.data;
  return answer(id, body, true);
}

std::string quote(std::string_view text) { return Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace); }

// Reads the members of a params object with type checks that name the param.
class Params {
 public:
  explicit Params(std::optional<simdjson::dom::object> object) : object_(object) {}

  std::expected<std::optional<element>, RpcError> member(std::string_view name) const {
    if (!object_) return std::optional<element>{};
    element value;
    if (object_->at_key(name).get(value) != simdjson::SUCCESS) return std::optional<element>{};
    return std::optional<element>(value);
  }

  std::expected<std::optional<std::string>, RpcError> string(std::string_view name) const {
    auto value = member(name);
    if (!value || !*value) return std::optional<std::string>{};
    std::string_view text;
    if ((*value)->get_string().get(text) != simdjson::SUCCESS) {
      return std::unexpected(RpcError{kInvalidParams, "param " + quote(name) + " must be a string"});
    }
    return std::optional<std::string>(std::string(text));
  }

  std::expected<std::string, RpcError> requiredString(std::string_view name) const {
    auto text = string(name);
    if (!text) return std::unexpected(text.error());
    if (!*text) return std::unexpected(RpcError{kInvalidParams, "missing param " + quote(name)});
    return **text;
  }

 private:
  std::optional<simdjson::dom::object> object_;
};

std::expected<TimelineProviderContext, RpcError> readContext(const Params& params, WidgetFamily family) {
  TimelineProviderContext context;
  context.family = family;
  auto value = params.member("context");
  if (!value) return std::unexpected(value.error());
  if (!*value) return context;
  simdjson::dom::object object;
  if ((*value)->get_object().get(object) != simdjson::SUCCESS) {
    return std::unexpected(RpcError{kInvalidParams, "param \"context\" must be an object"});
  }
  element member;
  if (object.at_key("displaySize").get(member) == simdjson::SUCCESS) {
    double width = 0;
    double height = 0;
    if (member["width"].get_double().get(width) != simdjson::SUCCESS ||
        member["height"].get_double().get(height) != simdjson::SUCCESS || width < 0 || height < 0) {
      return std::unexpected(RpcError{kInvalidParams,
                                      "param \"context.displaySize\" must be {\"width\": number, \"height\": number}"});
    }
    context.displaySize = {width, height};
  }
  if (object.at_key("isPreview").get(member) == simdjson::SUCCESS &&
      member.get_bool().get(context.isPreview) != simdjson::SUCCESS) {
    return std::unexpected(RpcError{kInvalidParams, "param \"context.isPreview\" must be true or false"});
  }
  if (object.at_key("locale").get(member) == simdjson::SUCCESS) {
    std::string_view locale;
    if (member.get_string().get(locale) != simdjson::SUCCESS) {
      return std::unexpected(RpcError{kInvalidParams, "param \"context.locale\" must be a string"});
    }
    context.locale = std::string(locale);
  }
  return context;
}

Json entryJSON(const RenderedEntry& entry, const ui::Localizer& localizer) {
  return {{"date", entry.date.iso8601()}, {"view", ui::toJSON(entry.view, localizer)}};
}

Json familiesJSON(const std::vector<WidgetFamily>& families) {
  Json list = Json::array();
  for (WidgetFamily family : families) list.push_back(std::string(familyName(family)));
  return list;
}

// Whole numbers as integers ("priority": 0), others as they are.
Json numberJSON(double value) {
  if (std::trunc(value) == value && std::abs(value) < 9.0e15) return static_cast<std::int64_t>(value);
  return value;
}

Json presentationJSON(const RenderedPresentation& presentation, const ui::Localizer& localizer) {
  Json out = {{"presentation", std::string(presentationName(presentation.presentation))}};
  if (presentation.presentation == ActivityPresentation::expanded) {
    Json regions = Json::array();
    for (const auto& region : presentation.regions) {
      regions.push_back({{"position", std::string(positionName(region.position))},
                         {"priority", numberJSON(region.priority)},
                         {"view", ui::toJSON(region.view, localizer)}});
    }
    out["regions"] = std::move(regions);
  } else if (presentation.view) {
    out["view"] = ui::toJSON(*presentation.view, localizer);
  }
  return out;
}

Json idJSON(const element& id) {
  switch (id.type()) {
    case element_type::STRING: return std::string(id.get_string().value_unsafe());
    case element_type::INT64: return id.get_int64().value_unsafe();
    case element_type::UINT64: return id.get_uint64().value_unsafe();
    case element_type::DOUBLE: return id.get_double().value_unsafe();
    default: return nullptr;
  }
}

class RequestHandler {
 public:
  RequestHandler(const std::vector<AnyWidget>& widgets, const ui::Bundle& resources)
      : widgets_(widgets), resources_(resources) {}

  std::expected<Json, RpcError> dispatch(std::string_view method, const Params& params) const {
    if (method == "widgets") return describe(params);
    if (method == "placeholder" || method == "snapshot" || method == "timeline") return entries(method, params);
    if (method == "activity") return activity(params);
    return std::unexpected(RpcError{kMethodNotFound, "unknown method " + quote(method)});
  }

 private:
  ui::Localizer localizer(std::string locale) const { return ui::Localizer{resources_, std::move(locale)}; }

  std::expected<Json, RpcError> describe(const Params& params) const {
    auto locale = params.string("locale");
    if (!locale) return std::unexpected(locale.error());
    const auto texts = localizer(locale->value_or("en"));
    Json list = Json::array();
    for (const auto& widget : widgets_) {
      if (const auto* s = std::get_if<StaticWidget>(&widget)) {
        list.push_back({{"type", "static"},
                        {"kind", s->kind},
                        {"displayName", s->displayName ? Json(texts.resolve(*s->displayName)) : Json(nullptr)},
                        {"description", s->description ? Json(texts.resolve(*s->description)) : Json(nullptr)},
                        {"families", familiesJSON(s->families)}});
      } else if (const auto* a = std::get_if<ActivityWidget>(&widget)) {
        list.push_back({{"type", "activity"}, {"attributesType", a->attributesType}});
      }
    }
    return Json{{"widgets", std::move(list)}};
  }

  std::expected<Json, RpcError> entries(std::string_view method, const Params& params) const {
    auto kind = params.requiredString("kind");
    if (!kind) return std::unexpected(kind.error());
    const StaticWidget* widget = nullptr;
    for (const auto& candidate : widgets_) {
      if (const auto* s = std::get_if<StaticWidget>(&candidate); s && s->kind == *kind) widget = s;
    }
    if (!widget) return std::unexpected(RpcError{kInvalidParams, "unknown widget kind " + quote(*kind)});
    auto familyText = params.string("family");
    if (!familyText) return std::unexpected(familyText.error());
    const std::string familyName = familyText->value_or("systemSmall");
    const auto family = familyFromName(familyName);
    if (!family) return std::unexpected(RpcError{kInvalidParams, "unknown family " + quote(familyName)});
    if (std::find(widget->families.begin(), widget->families.end(), *family) == widget->families.end()) {
      return std::unexpected(RpcError{kInvalidParams, "widget " + quote(*kind) + " does not support family " +
                                                          quote(familyName),
                                      Json{{"families", familiesJSON(widget->families)}}});
    }
    auto context = readContext(params, *family);
    if (!context) return std::unexpected(context.error());
    const auto texts = localizer(context->locale);
    Json result = {{"kind", *kind}, {"family", familyName}};
    if (method == "timeline") {
      auto timeline = widget->timeline(*context);
      if (!timeline) return std::unexpected(RpcError{kInternalError, "the provider did not complete the timeline"});
      result["policy"] = std::string(timeline->policy.name());
      if (timeline->policy.date()) result["policyDate"] = timeline->policy.date()->iso8601();
      Json list = Json::array();
      for (const auto& entry : timeline->entries) list.push_back(entryJSON(entry, texts));
      result["entries"] = std::move(list);
      return result;
    }
    std::optional<RenderedEntry> entry =
        method == "placeholder" ? std::optional(widget->placeholder(*context)) : widget->snapshot(*context);
    if (!entry) return std::unexpected(RpcError{kInternalError, "the provider did not complete the snapshot"});
    result["entry"] = entryJSON(*entry, texts);
    return result;
  }

  std::expected<Json, RpcError> activity(const Params& params) const {
    auto type = params.string("attributesType");
    if (!type) return std::unexpected(type.error());
    const ActivityWidget* widget = nullptr;
    std::size_t activities = 0;
    for (const auto& candidate : widgets_) {
      if (const auto* a = std::get_if<ActivityWidget>(&candidate)) {
        ++activities;
        if (!*type || a->attributesType == **type) widget = a;
      }
    }
    if (*type && !widget) {
      return std::unexpected(RpcError{kInvalidParams, "unknown attributes type " + quote(**type)});
    }
    if (!*type && activities != 1) {
      return std::unexpected(RpcError{kInvalidParams, activities == 0 ? "the bundle declares no activity"
                                                                      : "missing param \"attributesType\""});
    }
    auto attributes = bytesParam(params, "attributes");
    if (!attributes) return std::unexpected(attributes.error());
    auto state = bytesParam(params, "state");
    if (!state) return std::unexpected(state.error());
    auto which = params.string("presentation");
    if (!which) return std::unexpected(which.error());
    std::vector<ActivityPresentation> presentations;
    const std::string name = which->value_or("all");
    if (name == "all") {
      presentations.assign(std::begin(kAllActivityPresentations), std::end(kAllActivityPresentations));
    } else if (auto one = presentationFromName(name)) {
      presentations.push_back(*one);
    } else {
      return std::unexpected(RpcError{kInvalidParams, "unknown presentation " + quote(name)});
    }
    auto locale = params.string("locale");
    if (!locale) return std::unexpected(locale.error());
    auto rendered = widget->present(foundation::stringView(*attributes), foundation::stringView(*state), presentations);
    if (!rendered) {
      const auto& failure = rendered.error();
      Json path = Json::array();
      for (const auto& key : failure.error.codingPath) path.push_back(key);
      return std::unexpected(RpcError{kUndecodableRecord,
                                      "the coded " + failure.record + (failure.record == "attributes" ? " do" : " does") +
                                          " not decode: " +
                                          failure.error.description(),
                                      Json{{"record", failure.record},
                                           {"kind", foundation::kindName(failure.error.kind)},
                                           {"codingPath", std::move(path)},
                                           {"reason", failure.error.debugDescription}}});
    }
    const auto texts = localizer(locale->value_or("en"));
    if (name != "all") return presentationJSON(rendered->front(), texts);
    Json list = Json::array();
    for (const auto& presentation : *rendered) list.push_back(presentationJSON(presentation, texts));
    return Json{{"presentations", std::move(list)}};
  }

  static std::expected<foundation::Data, RpcError> bytesParam(const Params& params, std::string_view name) {
    auto text = params.requiredString(name);
    if (!text) return std::unexpected(text.error());
    auto data = foundation::dataFromBase64(*text);
    if (!data) return std::unexpected(RpcError{kInvalidParams, "param " + quote(name) + " is not base64"});
    return std::move(*data);
  }

  const std::vector<AnyWidget>& widgets_;
  const ui::Bundle& resources_;
};

}  // namespace

WidgetHostServer::WidgetHostServer(std::vector<AnyWidget> widgets, ui::Bundle resources)
    : widgets_(std::move(widgets)), resources_(std::move(resources)) {}

std::string WidgetHostServer::oversizedLineAnswer() {
  return errorAnswer(nullptr, RpcError{kInvalidRequest, "request line exceeds " +
                                                            std::to_string(kMaxLineBytes) + " bytes; refused"});
}

std::optional<std::string> WidgetHostServer::handleLine(std::string_view line) const {
  if (line.find_first_not_of(" \t\r") == std::string_view::npos) return std::nullopt;

  thread_local simdjson::dom::parser parser;
  // A parser keeps buffers sized for the largest line it has parsed, several times
  // that line's size; after a line larger than kKeptLineCapacity, give them back once
  // the answer is made, so that one large request does not stay resident for good.
  struct ReleaseLargeBuffers {
    ~ReleaseLargeBuffers() {
      if (parser.capacity() > kKeptLineCapacity) parser = simdjson::dom::parser{};
    }
  } release;
  if (parser.max_depth() != kMaxDepth) {
    if (parser.allocate(std::max<std::size_t>(line.size(), 4096), kMaxDepth) != simdjson::SUCCESS) {
      return errorAnswer(nullptr, RpcError{kInternalError, "out of memory"});
    }
  }
  element request;
  if (auto error = parser.parse(line.data(), line.size(), true).get(request); error != simdjson::SUCCESS) {
    return errorAnswer(nullptr, RpcError{kParseError, std::string("not JSON: ") + simdjson::error_message(error)});
  }
  simdjson::dom::object object;
  if (request.get_object().get(object) != simdjson::SUCCESS) {
    return errorAnswer(nullptr, RpcError{kInvalidRequest, "not a JSON-RPC request: expected an object"});
  }
  element member;
  Json id = nullptr;
  const bool hasId = object.at_key("id").get(member) == simdjson::SUCCESS;
  if (hasId) {
    const auto type = member.type();
    if (type != element_type::STRING && type != element_type::INT64 && type != element_type::UINT64 &&
        type != element_type::DOUBLE && type != element_type::NULL_VALUE) {
      return errorAnswer(nullptr, RpcError{kInvalidRequest, "not a JSON-RPC request: \"id\" must be a string or number"});
    }
    id = idJSON(member);
  }
  std::string_view version;
  if (object.at_key("jsonrpc").get(member) != simdjson::SUCCESS || member.get_string().get(version) ||
      version != "2.0") {
    return errorAnswer(id, RpcError{kInvalidRequest, "not a JSON-RPC request: \"jsonrpc\" must be \"2.0\""});
  }
  std::string_view method;
  if (object.at_key("method").get(member) != simdjson::SUCCESS || member.get_string().get(method)) {
    return errorAnswer(id, RpcError{kInvalidRequest, "not a JSON-RPC request: \"method\" must be a string"});
  }
  std::optional<simdjson::dom::object> paramsObject;
  if (object.at_key("params").get(member) == simdjson::SUCCESS) {
    simdjson::dom::object params;
    if (member.get_object().get(params) != simdjson::SUCCESS) {
      return hasId ? std::optional(errorAnswer(id, RpcError{kInvalidParams, "\"params\" must be an object"}))
                   : std::nullopt;
    }
    paramsObject = params;
  }

  const RequestHandler handler(widgets_, resources_);
  auto result = handler.dispatch(method, Params(paramsObject));
  if (!hasId) return std::nullopt;  // a notification: no answer, whatever happened
  if (!result) return errorAnswer(id, result.error());
  return answer(id, *result, false);
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

int WidgetHostServer::serve(int inputFd, int outputFd) const {
  // A host that goes away must end the loop through a failed write, not a signal.
  std::signal(SIGPIPE, SIG_IGN);

  std::array<char, 64 * 1024> buffer{};
  std::string line;
  bool oversized = false;
  // Empties the line and gives back what a big line took. Once malloc has seen a freed
  // block that large it keeps such blocks on its heap, so they are handed back to the
  // system explicitly; otherwise each large request would leave the process larger.
  const auto releaseLine = [&] {
    line.clear();
    if (line.capacity() <= kKeptLineCapacity) return;
    line.shrink_to_fit();
    malloc_trim(0);
  };
  const auto finishLine = [&]() -> bool {
    std::optional<std::string> reply;
    if (oversized) {
      reply = oversizedLineAnswer();
    } else {
      reply = handleLine(line);
    }
    releaseLine();
    oversized = false;
    if (!reply) return true;
    reply->push_back('\n');
    return writeAll(outputFd, *reply);
  };

  for (;;) {
    const ssize_t count = ::read(inputFd, buffer.data(), buffer.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (count == 0) break;
    std::string_view chunk(buffer.data(), static_cast<std::size_t>(count));
    while (!chunk.empty()) {
      const auto newline = chunk.find('\n');
      const std::string_view piece = chunk.substr(0, newline);
      if (!oversized) {
        if (line.size() + piece.size() > kMaxLineBytes) {
          oversized = true;  // keep reading to the end of the line, holding none of it
          releaseLine();
        } else {
          // A line that outgrows the kept capacity gets room for the longest line at
          // once: growing by doubling would hold the old and the new copy together.
          if (line.size() + piece.size() > line.capacity() && line.capacity() >= kKeptLineCapacity) {
            line.reserve(kMaxLineBytes);
          }
          line.append(piece);
        }
      }
      if (newline == std::string_view::npos) break;
      chunk.remove_prefix(newline + 1);
      if (!finishLine()) return 1;
    }
  }
  // Input closed: a last line without its '\n' is still a request.
  if ((!line.empty() || oversized) && !finishLine()) return 1;
  return 0;
}

}  // namespace widgetkit
