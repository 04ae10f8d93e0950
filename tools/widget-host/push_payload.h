// Push payload: the JSON object a push server sends to start, update or end a Live
// Activity, read and checked before anything is done with it:
//   {"aps": {"event": "start"|"update"|"end", "timestamp": SECONDS,
//            "content-state": {...}, "attributes-type": "...", "attributes": {...},
//            "stale-date": SECONDS, "dismissal-date": SECONDS, "relevance-score": NUMBER,
//            "alert": {"title": "...", "body": "..."}}}
// at most 4,096 bytes. "content-state" (start and update) and "attributes" with
// "attributes-type" (start only) are needed; "dismissal-date" is for an end only.
// Any other member, or one of the wrong kind, is refused with its path ("aps.alert.x").
// The records go on as their bytes in the payload, for the extension alone to decode.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/date.h"

namespace host {

inline constexpr std::size_t kMaxPushPayloadBytes = 4096;

enum class PushEvent { start, update, end };

struct PushPayload {
  PushEvent event = PushEvent::update;
  foundation::Date timestamp;
  std::optional<std::string> contentState;
  std::optional<std::string> attributesType;
  std::optional<std::string> attributes;
  std::optional<foundation::Date> staleDate;
  std::optional<foundation::Date> dismissalDate;
  std::optional<double> relevanceScore;
};

// The payload in `bytes`, or what is wrong with it (one line, naming the member).
std::expected<PushPayload, std::string> readPushPayload(std::string_view bytes);

}  // namespace host
