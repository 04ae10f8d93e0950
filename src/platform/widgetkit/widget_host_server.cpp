#include "platform/widgetkit/widget_host_server.h"

#include <malloc.h>
#include <simdjson.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <variant>

#include "platform/foundation/data.h"
#include "platform/foundation/json_text_writer.h"
#include "platform/foundation/write_all.h"
#include "platform/ui/localizer.h"
#include "platform/ui/overloaded.h"
#include "platform/ui/tree_json.h"

namespace widgetkit {

namespace {

using foundation::JSONTextWriter;
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

// A failed request: the JSON-RPC error to answer with. `data`, when not empty, is a
// JSON value's text.
struct RpcError {
  int code;
  std::string message;
  std::string data = {};
};

// A request's "id": null, a string or a number, answered as it came.
using RequestId = std::variant<std::monostate, std::string, std::int64_t, std::uint64_t, double>;

RequestId requestId(const element& id) {
  switch (id.type()) {
    case element_type::STRING: return std::string(id.get_string().value_unsafe());
    case element_type::INT64: return id.get_int64().value_unsafe();
    case element_type::UINT64: return id.get_uint64().value_unsafe();
    case element_type::DOUBLE: return id.get_double().value_unsafe();
    default: return std::monostate{};
  }
}

void writeId(JSONTextWriter& out, const RequestId& id) {
  out.key("id");
  std::visit(ui::Overloaded{
                 [&](std::monostate) { out.null(); },
                 [&](const std::string& text) { out.string(text); },
                 [&](std::int64_t value) { out.integer(value); },
                 [&](std::uint64_t value) { out.unsignedInteger(value); },
                 [&](double value) { out.number(value); },
             },
             id);
}

// {"jsonrpc":"2.0","error":{"code","message"[,"data"]},"id":...}, replacing whatever
// `out` held.
void writeError(JSONTextWriter& out, const RequestId& id, const RpcError& error) {
  out.clear();
  out.beginObject();
  out.plainMember("jsonrpc", "2.0");
  out.key("error");
  out.beginObject();
  out.key("code");
  out.integer(error.code);
  out.member("message", error.message);
  if (!error.data.empty()) {
    out.key("data");
    out.raw(error.data);
  }
  out.endObject();
  writeId(out, id);
  out.endObject();
}

// `text` as a JSON string, for messages that name what was wrong.
std::string quote(std::string_view text) {
  JSONTextWriter out;
  out.string(text);
  return std::string(out.text());
}

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

  std::expected<std::optional<std::string_view>, RpcError> string(std::string_view name) const {
    auto value = member(name);
    if (!value || !*value) return std::optional<std::string_view>{};
    std::string_view text;
    if ((*value)->get_string().get(text) != simdjson::SUCCESS) {
      return std::unexpected(RpcError{kInvalidParams, "param " + quote(name) + " must be a string"});
    }
    return std::optional<std::string_view>(text);
  }

  std::expected<std::string_view, RpcError> requiredString(std::string_view name) const {
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

void writeEntry(JSONTextWriter& out, const RenderedEntry& entry, const ui::Localizer& localizer) {
  out.beginObject();
  out.plainMember("date", entry.date.iso8601());
  out.key("view");
  ui::writeJSON(out, entry.view, localizer);
  out.endObject();
}

void writeFamilies(JSONTextWriter& out, const std::vector<WidgetFamily>& families) {
  out.beginArray();
  for (WidgetFamily family : families) out.string(familyName(family));
  out.endArray();
}

// Whole numbers as integers ("priority": 0), others as they are.
void writeNumber(JSONTextWriter& out, double value) {
  if (std::trunc(value) == value && std::abs(value) < 9.0e15) {
    out.integer(static_cast<std::int64_t>(value));
  } else {
    out.number(value);
  }
}

void writePresentation(JSONTextWriter& out, const RenderedPresentation& presentation,
                       const ui::Localizer& localizer) {
  out.beginObject();
  out.member("presentation", presentationName(presentation.presentation));
  if (presentation.presentation == ActivityPresentation::expanded) {
    out.key("regions");
    out.beginArray();
    for (const auto& region : presentation.regions) {
      out.beginObject();
      out.member("position", positionName(region.position));
      out.key("priority");
      writeNumber(out, region.priority);
      out.key("view");
      ui::writeJSON(out, region.view, localizer);
      out.endObject();
    }
    out.endArray();
  } else if (presentation.view) {
    out.key("view");
    ui::writeJSON(out, *presentation.view, localizer);
  }
  out.endObject();
}

// Writes the result of one request into `out`, or returns the error to answer with
// (what it wrote by then is dropped).
class RequestHandler {
 public:
  RequestHandler(const std::vector<AnyWidget>& widgets, const ui::Bundle& resources, JSONTextWriter& out)
      : widgets_(widgets), resources_(resources), out_(out) {}

  std::expected<void, RpcError> dispatch(std::string_view method, const Params& params) const {
    if (method == "widgets") return describe(params);
    if (method == "placeholder" || method == "snapshot" || method == "timeline") return entries(method, params);
    if (method == "activity") return activity(params);
    return std::unexpected(RpcError{kMethodNotFound, "unknown method " + quote(method)});
  }

 private:
  ui::Localizer localizer(std::string_view locale) const { return ui::Localizer{resources_, std::string(locale)}; }

  std::expected<void, RpcError> describe(const Params& params) const {
    auto locale = params.string("locale");
    if (!locale) return std::unexpected(locale.error());
    const auto texts = localizer(locale->value_or("en"));
    out_.beginObject();
    out_.key("widgets");
    out_.beginArray();
    for (const auto& widget : widgets_) {
      out_.beginObject();
      if (const auto* s = std::get_if<StaticWidget>(&widget)) {
        out_.member("type", "static");
        out_.member("kind", s->kind);
        out_.key("displayName");
        writeText(s->displayName, texts);
        out_.key("description");
        writeText(s->description, texts);
        out_.key("families");
        writeFamilies(out_, s->families);
      } else if (const auto* a = std::get_if<ActivityWidget>(&widget)) {
        out_.member("type", "activity");
        out_.member("attributesType", a->attributesType);
      }
      out_.endObject();
    }
    out_.endArray();
    out_.endObject();
    return {};
  }

  std::expected<void, RpcError> entries(std::string_view method, const Params& params) const {
    auto kind = params.requiredString("kind");
    if (!kind) return std::unexpected(kind.error());
    const StaticWidget* widget = nullptr;
    for (const auto& candidate : widgets_) {
      if (const auto* s = std::get_if<StaticWidget>(&candidate); s && s->kind == *kind) widget = s;
    }
    if (!widget) return std::unexpected(RpcError{kInvalidParams, "unknown widget kind " + quote(*kind)});
    auto familyText = params.string("family");
    if (!familyText) return std::unexpected(familyText.error());
    const std::string_view familyName = familyText->value_or("systemSmall");
    const auto family = familyFromName(familyName);
    if (!family) return std::unexpected(RpcError{kInvalidParams, "unknown family " + quote(familyName)});
    if (std::find(widget->families.begin(), widget->families.end(), *family) == widget->families.end()) {
      JSONTextWriter data;
      data.beginObject();
      data.key("families");
      writeFamilies(data, widget->families);
      data.endObject();
      return std::unexpected(RpcError{kInvalidParams,
                                      "widget " + quote(*kind) + " does not support family " + quote(familyName),
                                      std::string(data.text())});
    }
    auto context = readContext(params, *family);
    if (!context) return std::unexpected(context.error());
    const auto texts = localizer(context->locale);
    if (method == "timeline") {
      auto timeline = widget->timeline(*context);
      if (!timeline) return std::unexpected(RpcError{kInternalError, "the provider did not complete the timeline"});
      out_.beginObject();
      out_.member("kind", *kind);
      out_.member("family", familyName);
      out_.plainMember("policy", timeline->policy.name());
      if (timeline->policy.date()) out_.plainMember("policyDate", timeline->policy.date()->iso8601());
      out_.key("entries");
      out_.beginArray();
      for (const auto& entry : timeline->entries) writeEntry(out_, entry, texts);
      out_.endArray();
      out_.endObject();
      return {};
    }
    std::optional<RenderedEntry> entry =
        method == "placeholder" ? std::optional(widget->placeholder(*context)) : widget->snapshot(*context);
    if (!entry) return std::unexpected(RpcError{kInternalError, "the provider did not complete the snapshot"});
    out_.beginObject();
    out_.member("kind", *kind);
    out_.member("family", familyName);
    out_.key("entry");
    writeEntry(out_, *entry, texts);
    out_.endObject();
    return {};
  }

  std::expected<void, RpcError> activity(const Params& params) const {
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
    const std::string_view name = which->value_or("all");
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
    if (!rendered) return std::unexpected(undecodable(rendered.error()));
    const auto texts = localizer(locale->value_or("en"));
    if (name != "all") {
      writePresentation(out_, rendered->front(), texts);
      return {};
    }
    out_.beginObject();
    out_.key("presentations");
    out_.beginArray();
    for (const auto& presentation : *rendered) writePresentation(out_, presentation, texts);
    out_.endArray();
    out_.endObject();
    return {};
  }

  void writeText(const std::optional<ui::LocalizedStringKey>& text, const ui::Localizer& texts) const {
    if (text) {
      out_.string(texts.resolve(*text));
    } else {
      out_.null();
    }
  }

  static RpcError undecodable(const ActivityDecodeFailure& failure) {
    JSONTextWriter data;
    data.beginObject();
    data.member("record", failure.record);
    data.member("kind", foundation::kindName(failure.error.kind));
    data.key("codingPath");
    data.beginArray();
    for (const auto& key : failure.error.codingPath) data.string(key);
    data.endArray();
    data.member("reason", failure.error.debugDescription);
    data.endObject();
    return RpcError{kUndecodableRecord,
                    "the coded " + failure.record + (failure.record == "attributes" ? " do" : " does") +
                        " not decode: " + failure.error.description(),
                    std::string(data.text())};
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
  JSONTextWriter& out_;
};

void writeOversizedLineAnswer(JSONTextWriter& out) {
  writeError(out, std::monostate{},
             RpcError{kInvalidRequest, "request line exceeds " + std::to_string(WidgetHostServer::kMaxLineBytes) +
                                           " bytes; refused"});
}

}  // namespace

WidgetHostServer::WidgetHostServer(std::vector<AnyWidget> widgets, ui::Bundle resources)
    : widgets_(std::move(widgets)), resources_(std::move(resources)) {}

std::optional<std::string> WidgetHostServer::handleLine(std::string_view line) const {
  JSONTextWriter out;
  if (!answer(line, out, false)) return std::nullopt;
  return std::string(out.text());
}

bool WidgetHostServer::answer(std::string_view line, JSONTextWriter& out, bool padded) const {
  out.clear();
  if (line.find_first_not_of(" \t\r") == std::string_view::npos) return false;

  thread_local simdjson::dom::parser parser;
  // A parser keeps buffers sized for the largest line it has parsed, several times
  // that line's size; after a line larger than kKeptLineCapacity, give them back once
  // the answer is made, so that one large request does not stay resident for good.
  struct ReleaseLargeBuffers {
    ~ReleaseLargeBuffers() {
      if (parser.capacity() > kKeptLineCapacity) parser = simdjson::dom::parser{};
    }
  } release;
  const auto fail = [&](const RequestId& id, RpcError error) {
    writeError(out, id, error);
    return true;
  };
  if (parser.max_depth() != kMaxDepth) {
    if (parser.allocate(std::max<std::size_t>(line.size(), 4096), kMaxDepth) != simdjson::SUCCESS) {
      return fail(std::monostate{}, RpcError{kInternalError, "out of memory"});
    }
  }
  element request;
  if (auto error = parser.parse(line.data(), line.size(), !padded).get(request); error != simdjson::SUCCESS) {
    return fail(std::monostate{}, RpcError{kParseError, std::string("not JSON: ") + simdjson::error_message(error)});
  }
  simdjson::dom::object object;
  if (request.get_object().get(object) != simdjson::SUCCESS) {
    return fail(std::monostate{}, RpcError{kInvalidRequest, "not a JSON-RPC request: expected an object"});
  }
  element member;
  RequestId id;
  const bool hasId = object.at_key("id").get(member) == simdjson::SUCCESS;
  if (hasId) {
    const auto type = member.type();
    if (type != element_type::STRING && type != element_type::INT64 && type != element_type::UINT64 &&
        type != element_type::DOUBLE && type != element_type::NULL_VALUE) {
      return fail(std::monostate{},
                  RpcError{kInvalidRequest, "not a JSON-RPC request: \"id\" must be a string or number"});
    }
    id = requestId(member);
  }
  std::string_view version;
  if (object.at_key("jsonrpc").get(member) != simdjson::SUCCESS || member.get_string().get(version) ||
      version != "2.0") {
    return fail(id, RpcError{kInvalidRequest, "not a JSON-RPC request: \"jsonrpc\" must be \"2.0\""});
  }
  std::string_view method;
  if (object.at_key("method").get(member) != simdjson::SUCCESS || member.get_string().get(method)) {
    return fail(id, RpcError{kInvalidRequest, "not a JSON-RPC request: \"method\" must be a string"});
  }
  std::optional<simdjson::dom::object> paramsObject;
  if (object.at_key("params").get(member) == simdjson::SUCCESS) {
    simdjson::dom::object params;
    if (member.get_object().get(params) != simdjson::SUCCESS) {
      return hasId && fail(id, RpcError{kInvalidParams, "\"params\" must be an object"});
    }
    paramsObject = params;
  }

  // The result goes straight into the answer line; a failure replaces what was written.
  out.beginObject();
  out.plainMember("jsonrpc", "2.0");
  out.key("result");
  const RequestHandler handler(widgets_, resources_, out);
  auto result = handler.dispatch(method, Params(paramsObject));
  if (!hasId) {  // a notification: no answer, whatever happened
    out.clear();
    return false;
  }
  if (!result) return fail(id, result.error());
  writeId(out, id);
  out.endObject();
  return true;
}

int WidgetHostServer::serve(int inputFd, int outputFd) const {
  // A host that goes away must end the loop through a failed write, not a signal.
  std::signal(SIGPIPE, SIG_IGN);

  // Input is read straight into `input` and each complete line is parsed where it
  // lies, with room for the parser's padding after the data: no line is copied.
  constexpr std::size_t kReadBytes = 64 * 1024;
  constexpr std::size_t kPadding = simdjson::SIMDJSON_PADDING;
  constexpr std::size_t kKeptInputCapacity = 2 * kReadBytes + kPadding;
  std::string input;
  std::size_t filled = 0;   // input's first `filled` bytes were read and not yet handled
  bool oversized = false;   // the line being read passed the limit: skip to its end
  JSONTextWriter reply;

  const auto respond = [&](std::string_view line, bool tooLong) -> bool {
    bool answered = true;
    if (tooLong) {
      writeOversizedLineAnswer(reply);
    } else {
      answered = answer(line, reply, true);
    }
    if (!answered) return true;
    reply.newline();
    const bool written = foundation::writeAll(outputFd, reply.text());
    if (reply.text().size() > kKeptLineCapacity) {
      reply.release();
    } else {
      reply.clear();
    }
    return written;
  };

  for (;;) {
    if (input.size() < filled + kReadBytes + kPadding) {
      // A line that outgrows the kept capacity gets room for the longest line at once:
      // growing by doubling would hold the old and the new copy together.
      if (filled + kReadBytes + kPadding > kKeptInputCapacity) input.reserve(kMaxLineBytes + kReadBytes + kPadding);
      input.resize(filled + kReadBytes + kPadding);
    }
    const ssize_t count = ::read(inputFd, input.data() + filled, kReadBytes);
    if (count < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (count == 0) break;
    std::size_t scan = filled;
    filled += static_cast<std::size_t>(count);
    std::size_t lineStart = 0;
    while (const void* found = std::memchr(input.data() + scan, '\n', filled - scan)) {
      const auto end = static_cast<std::size_t>(static_cast<const char*>(found) - input.data());
      const bool tooLong = oversized || end - lineStart > kMaxLineBytes;
      if (!respond(std::string_view(input.data() + lineStart, end - lineStart), tooLong)) return 1;
      oversized = false;
      lineStart = scan = end + 1;
    }
    // Keep the start of the next line; a line already over the limit is not kept.
    if (lineStart > 0) {
      filled -= lineStart;
      std::memmove(input.data(), input.data() + lineStart, filled);
    }
    if (oversized || filled > kMaxLineBytes) {
      oversized = true;
      filled = 0;
    }
    // Once what is left is small again, give back what a big line took. malloc keeps
    // freed blocks that large on its heap, so they are handed back to the system.
    if (input.capacity() > kKeptInputCapacity && filled + kReadBytes + kPadding <= kKeptInputCapacity) {
      input.resize(filled);
      input.shrink_to_fit();
      malloc_trim(0);
    }
  }
  // Input closed: a last line without its '\n' is still a request.
  if (filled > 0 || oversized) {
    if (!oversized) input.resize(filled + kPadding);
    if (!respond(std::string_view(input.data(), filled), oversized)) return 1;
  }
  return 0;
}

}  // namespace widgetkit
