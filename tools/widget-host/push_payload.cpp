#include "push_payload.h"

#include <cmath>
#include <map>

#include "json_rpc.h"
#include "platform/activitykit/activity_rules.h"

namespace host {

namespace {

using foundation::Date;

// Seconds since 1970 the clock can hold: from 1970 to the year 5138.
constexpr double kLatestSeconds = 1e11;

std::expected<void, std::string> wrong(const std::string& path, std::string_view what) {
  return std::unexpected("the push payload's \"" + path + "\" " + std::string(what));
}

std::expected<Date, std::string> seconds(const Json& value, const std::string& path) {
  if (!value.is_number() || !std::isfinite(value.get<double>()) || value.get<double>() < 0 ||
      value.get<double>() >= kLatestSeconds) {
    return std::unexpected(wrong(path, "must be a number of seconds since 1970").error());
  }
  const auto micros = std::llround(value.get<double>() * 1e6);
  return Date(Date::TimePoint(std::chrono::microseconds(micros)));
}

std::expected<void, std::string> readAlert(const Json& alert) {
  if (!alert.is_object()) return wrong("aps.alert", "must be an object");
  for (const auto& [key, value] : alert.items()) {
    if (key != "title" && key != "body") return wrong("aps.alert." + key, "is not a member of an alert");
    if (!value.is_string()) return wrong("aps.alert." + key, "must be a string");
  }
  return {};
}

// Where the JSON value that starts at `at` in `text` ends. The text has already been
// read as JSON, so only strings (with their escapes) and brackets need following.
std::size_t valueEnd(std::string_view text, std::size_t at) {
  int depth = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '"') {
      for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] == '\\') ++at;
      }
      if (depth == 0) return at + 1;
    } else if (depth == 0 && (c == ',' || c == '}' || c == ']' || c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
      return at;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if ((c == '}' || c == ']') && --depth == 0) {
      return at + 1;
    }
  }
  return at;
}

std::size_t skipSpace(std::string_view text, std::size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) ++at;
  return at;
}

// The members of the object whose opening bracket is at `open`, each as the bytes of
// its value in `text`; of a name given twice, the last, as the parsed object keeps.
std::map<std::string, std::string_view> rawMembers(std::string_view text, std::size_t open) {
  std::map<std::string, std::string_view> members;
  for (std::size_t at = skipSpace(text, open + 1); at < text.size() && text[at] == '"';) {
    const std::size_t keyEnd = valueEnd(text, at);
    const Json key = Json::parse(text.substr(at, keyEnd - at), nullptr, false);
    const std::size_t start = skipSpace(text, skipSpace(text, keyEnd) + 1);
    const std::size_t end = valueEnd(text, start);
    if (key.is_string()) members[key.get<std::string>()] = text.substr(start, end - start);
    at = skipSpace(text, end);
    if (at < text.size() && text[at] == ',') at = skipSpace(text, at + 1);
  }
  return members;
}

// The bytes of the payload's "aps" object (the payload has been read as an object).
std::string_view rawAps(std::string_view bytes) {
  std::size_t at = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;  // a byte order mark, which the parser skips
  const auto top = rawMembers(bytes, skipSpace(bytes, at));
  const auto aps = top.find("aps");
  return aps == top.end() ? std::string_view() : aps->second;
}

std::expected<void, std::string> readMember(const std::string& key, const Json& value, std::string_view raw,
                                            PushPayload& payload) {
  const std::string path = "aps." + key;
  const auto date = [&](std::optional<Date>& into) -> std::expected<void, std::string> {
    auto read = seconds(value, path);
    if (!read) return std::unexpected(read.error());
    into = *read;
    return {};
  };
  if (key == "content-state" || key == "attributes") {
    if (!value.is_object()) return wrong(path, "must be an object");
    // Handed on as the server wrote them: only the extension reads the records.
    (key == "attributes" ? payload.attributes : payload.contentState) = std::string(raw);
    return {};
  }
  if (key == "attributes-type") {
    if (!value.is_string()) return wrong(path, "must be a string");
    payload.attributesType = value.get<std::string>();
    return {};
  }
  if (key == "stale-date") return date(payload.staleDate);
  if (key == "dismissal-date") return date(payload.dismissalDate);
  if (key == "relevance-score") {
    if (!value.is_number() || !std::isfinite(value.get<double>())) return wrong(path, "must be a number");
    payload.relevanceScore = value.get<double>();
    return {};
  }
  if (key == "alert") return readAlert(value);
  return wrong(path, "is not a member of a push payload");
}

}  // namespace

std::expected<PushPayload, std::string> readPushPayload(std::string_view bytes) {
  if (bytes.size() > kMaxPushPayloadBytes) {
    return std::unexpected("the push payload: " + activitykit::grouped(bytes.size()) +
                           " bytes, over the limit of 4,096 bytes");
  }
  const Json root = Json::parse(bytes, nullptr, false);
  if (root.is_discarded()) return std::unexpected(std::string("the push payload is not JSON"));
  if (!root.is_object()) return std::unexpected(std::string("the push payload is not a JSON object"));
  for (const auto& [key, value] : root.items()) {
    if (key != "aps") return std::unexpected(wrong(key, "is not a member of a push payload").error());
  }
  const Json* aps = member(root, "aps");
  if (aps == nullptr) return std::unexpected(std::string("the push payload has no \"aps\""));
  if (!aps->is_object()) return std::unexpected(wrong("aps", "must be an object").error());

  PushPayload payload;
  const Json* event = member(*aps, "event");
  const Json* timestamp = member(*aps, "timestamp");
  if (event == nullptr) return std::unexpected(std::string("the push payload has no \"aps.event\""));
  if (timestamp == nullptr) return std::unexpected(std::string("the push payload has no \"aps.timestamp\""));
  const std::string name = event->is_string() ? event->get<std::string>() : "";
  if (name == "start") {
    payload.event = PushEvent::start;
  } else if (name == "update") {
    payload.event = PushEvent::update;
  } else if (name == "end") {
    payload.event = PushEvent::end;
  } else {
    return std::unexpected(wrong("aps.event", "must be \"start\", \"update\" or \"end\"").error());
  }
  auto when = seconds(*timestamp, "aps.timestamp");
  if (!when) return std::unexpected(when.error());
  payload.timestamp = *when;
  const std::string_view apsBytes = rawAps(bytes);
  const auto raw = rawMembers(apsBytes, 0);
  for (const auto& [key, value] : aps->items()) {
    if (key == "event" || key == "timestamp") continue;
    const auto found = raw.find(key);
    if (auto read = readMember(key, value, found == raw.end() ? std::string_view() : found->second, payload); !read) {
      return std::unexpected(read.error());
    }
  }
  const bool start = payload.event == PushEvent::start;
  if (!payload.contentState && payload.event != PushEvent::end) {
    return std::unexpected("the push payload has no \"aps.content-state\" (needed for " + name + ")");
  }
  if (start && !payload.attributes) return std::unexpected(std::string("the push payload has no \"aps.attributes\""));
  if (start && !payload.attributesType) {
    return std::unexpected(std::string("the push payload has no \"aps.attributes-type\""));
  }
  if (!start && payload.attributes) return std::unexpected(wrong("aps.attributes", "is for a start only").error());
  if (!start && payload.attributesType) {
    return std::unexpected(wrong("aps.attributes-type", "is for a start only").error());
  }
  if (payload.event != PushEvent::end && payload.dismissalDate) {
    return std::unexpected(wrong("aps.dismissal-date", "is for an end only").error());
  }
  return payload;
}

}  // namespace host
