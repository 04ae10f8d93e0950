#include "platform/widgetkit/json_rpc_line_server.h"

#include <malloc.h>
#include <poll.h>
#include <simdjson.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <utility>
#include <variant>

#include "platform/foundation/json_text_writer.h"
#include "platform/foundation/program_pages.h"
#include "platform/foundation/write_all.h"
#include "platform/ui/overloaded.h"
#include "platform/widgetkit/protocol_error_codes.h"

namespace widgetkit {

namespace {

using foundation::JSONTextWriter;
using simdjson::dom::element;
using simdjson::dom::element_type;

constexpr std::size_t kMaxDepth = 512;
constexpr std::size_t kKeptLineCapacity = 64 * 1024;

// A number "id" as the request spells it: one that a 64-bit integer would not write
// back the same (a fraction, an exponent, -0, more digits than 64 bits hold).
struct WrittenNumber {
  std::string token;
};

// A request's "id": null, a string or a number, answered as it came.
using RequestId = std::variant<std::monostate, std::string, std::int64_t, std::uint64_t, WrittenNumber>;

// Whether `token` is a number by JSON's grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJSONNumber(std::string_view token) {
  std::size_t at = 0;
  const auto digits = [&] {
    const std::size_t from = at;
    while (at < token.size() && token[at] >= '0' && token[at] <= '9') ++at;
    return at - from;
  };
  if (at < token.size() && token[at] == '-') ++at;
  if (at < token.size() && token[at] == '0') {
    ++at;
  } else if (digits() == 0) {
    return false;
  }
  if (at < token.size() && token[at] == '.') {
    ++at;
    if (digits() == 0) return false;
  }
  if (at < token.size() && (token[at] == 'e' || token[at] == 'E')) {
    ++at;
    if (at < token.size() && (token[at] == '+' || token[at] == '-')) ++at;
    if (digits() == 0) return false;
  }
  return at == token.size();
}

// Where the top-level "id" member's value lies in `line`, when it is a number (by
// JSON's grammar, of any size). Read without converting any number, so that one too
// large for the parser is found too.
std::optional<std::pair<std::size_t, std::string_view>> numberIdIn(std::string_view line) {
  simdjson::ondemand::parser parser;
  const simdjson::padded_string padded(line);
  simdjson::ondemand::document document;
  std::string_view token;
  if (parser.iterate(padded).get(document) != simdjson::SUCCESS ||
      document.get_object().find_field_unordered("id").raw_json_token().get(token) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  token = token.substr(0, token.find_last_not_of(" \t\r\n") + 1);
  if (!isJSONNumber(token)) return std::nullopt;
  const auto at = static_cast<std::size_t>(token.data() - padded.data());
  return std::pair(at, line.substr(at, token.size()));
}

RequestId requestId(const element& id, std::string_view line) {
  switch (id.type()) {
    case element_type::STRING: return std::string(id.get_string().value_unsafe());
    case element_type::INT64:
      // 0 may have been written -0, which a number would not keep.
      if (id.get_int64().value_unsafe() != 0) return id.get_int64().value_unsafe();
      [[fallthrough]];
    case element_type::DOUBLE:
      if (const auto written = numberIdIn(line)) return WrittenNumber{std::string(written->second)};
      return std::monostate{};
    case element_type::UINT64: return id.get_uint64().value_unsafe();
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
                 [&](const WrittenNumber& number) { out.raw(number.token); },
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

void writeOversizedLineAnswer(JSONTextWriter& out) {
  writeError(out, std::monostate{},
             RpcError{kInvalidRequest,
                      "request line exceeds " + std::to_string(JsonRpcLineServer::kMaxLineBytes) + " bytes; refused"});
}

}  // namespace

std::string quoted(std::string_view text) {
  JSONTextWriter out;
  out.string(text);
  return std::string(out.text());
}

std::optional<element> RpcParams::member(std::string_view name) const {
  element value;
  if (!object_ || object_->at_key(name).get(value) != simdjson::SUCCESS) return std::nullopt;
  return value;
}

std::expected<std::optional<std::string_view>, RpcError> RpcParams::string(std::string_view name) const {
  const auto value = member(name);
  if (!value) return std::optional<std::string_view>{};
  std::string_view text;
  if (value->get_string().get(text) != simdjson::SUCCESS) {
    return std::unexpected(RpcError{kInvalidParams, "param " + quoted(name) + " must be a string"});
  }
  return std::optional<std::string_view>(text);
}

std::expected<std::string_view, RpcError> RpcParams::requiredString(std::string_view name) const {
  auto text = string(name);
  if (!text) return std::unexpected(text.error());
  if (!*text) return std::unexpected(RpcError{kInvalidParams, "missing param " + quoted(name)});
  return **text;
}

std::optional<std::string> JsonRpcLineServer::handleLine(std::string_view line) const {
  JSONTextWriter out;
  if (!answer(line, out, false)) return std::nullopt;
  return std::string(out.text());
}

bool JsonRpcLineServer::answer(std::string_view line, JSONTextWriter& out, bool padded) const {
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
  auto parsed = parser.parse(line.data(), line.size(), !padded).get(request);
  // A number the parser cannot hold (past 64 bits or a double's range) is refused
  // whole; when it is the id, the request is read again with 0 in its place and the
  // id answered as written.
  std::optional<RequestId> bigId;
  std::string withoutBigId;
  if (parsed == simdjson::NUMBER_ERROR) {
    if (const auto id = numberIdIn(line)) {
      bigId = WrittenNumber{std::string(id->second)};
      // Put together piece by piece: GCC 12 warns falsely (-Wrestrict) on replace().
      withoutBigId.append(line.substr(0, id->first)).append("0").append(line.substr(id->first + id->second.size()));
      parsed = parser.parse(withoutBigId).get(request);
    }
  }
  if (parsed != simdjson::SUCCESS) {
    return fail(bigId.value_or(std::monostate{}),
                RpcError{kParseError, std::string("not JSON: ") + simdjson::error_message(parsed)});
  }
  simdjson::dom::object object;
  if (request.is_array()) {
    return fail(std::monostate{}, RpcError{kInvalidRequest,
                                           "not a JSON-RPC request: a batch (an array) is not answered; "
                                           "send each request on a line of its own"});
  }
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
    id = bigId ? *bigId : requestId(member, line);
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
  simdjson::dom::object params;
  const bool hasParams = object.at_key("params").get(member) == simdjson::SUCCESS;
  if (hasParams && member.get_object().get(params) != simdjson::SUCCESS) {
    return hasId && fail(id, RpcError{kInvalidParams, "\"params\" must be an object"});
  }

  // The result goes straight into the answer line; a failure replaces what was written.
  out.beginObject();
  out.plainMember("jsonrpc", "2.0");
  out.key("result");
  auto result = methods_.call(method, RpcParams(hasParams ? &params : nullptr), out);
  if (!hasId) {  // a notification: no answer, whatever happened
    out.clear();
    return false;
  }
  if (!result) return fail(id, result.error());
  writeId(out, id);
  out.endObject();
  return true;
}

namespace {

// Whether `fd` has input to read (or its end) within `wait`.
bool inputWithin(int fd, std::chrono::milliseconds wait) {
  pollfd input{fd, POLLIN, 0};
  return ::poll(&input, 1, static_cast<int>(wait.count())) != 0;
}

}  // namespace

int JsonRpcLineServer::serve(int inputFd, int outputFd) const {
  // A host that goes away must end the loop through a failed write, not a signal.
  std::signal(SIGPIPE, SIG_IGN);

  // Input is read straight into `input` and each complete line is parsed where it
  // lies, with room for the parser's padding after the data: no line is copied.
  constexpr std::size_t kReadBytes = 64 * 1024;
  constexpr std::size_t kPadding = simdjson::SIMDJSON_PADDING;
  constexpr std::size_t kKeptInputCapacity = 2 * kReadBytes + kPadding;
  std::string input;
  std::size_t filled = 0;  // input's first `filled` bytes were read and not yet handled
  bool oversized = false;  // the line being read passed the limit: skip to its end
  JSONTextWriter reply;

  // The process's file pages are given back when it has nothing to do: what start-up
  // touched (relocations, symbol lookups, reading the bundle) once no request has come
  // for kIdleBeforeRelease; and, once more, what the first request touched (it binds
  // the C++ library's last symbols through the libraries' symbol tables and sets up
  // what later requests reuse), at the first such pause after it, or after
  // kLinesBeforeRelease lines from a host that never pauses. A command that asks at
  // once and exits never waits for it.
  constexpr std::chrono::milliseconds kIdleBeforeRelease{50};
  constexpr std::size_t kLinesBeforeRelease = 1000;
  bool releaseDue = true;
  std::size_t linesHandled = 0;
  const auto release = [&] {
    foundation::releaseProgramPages();
    releaseDue = false;
  };

  const auto respond = [&](std::string_view line, bool tooLong) -> bool {
    ++linesHandled;
    if (linesHandled == 1) {
      releaseDue = true;
    } else if (linesHandled == kLinesBeforeRelease && releaseDue) {
      release();
    }
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
    if (releaseDue && !inputWithin(inputFd, kIdleBeforeRelease)) release();
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
