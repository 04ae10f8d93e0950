// TulWidgetAttributes: the Live Activity's records shared with the host app.
//
// The attributes (`name`, fixed when the activity starts) and the nested
// `ContentState` (tempo, time signature, what plays, whether it plays and is
// automated) are keyed records. Decoding reads members by key in field order and
// stops at the first failure; "melodyName" is optional (missing or null is absent,
// and an absent name writes no member), everything else is required; members with
// other names are ignored. States compare with texts by canonical equivalence and
// hash consistently with that. Plain values: no shared state, any thread.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/coding_key.h"
#include "platform/foundation/hasher.h"
#include "platform/foundation/json_decoder.h"
#include "platform/foundation/json_encoder.h"

namespace tul {

struct TulWidgetAttributes {
  static constexpr std::string_view typeName = "TulWidgetAttributes";

  struct ContentState {
    enum class CodingKeys { tempo, beat, note, melodyName, isPlaying, isAutomated };

    std::int64_t tempo;
    std::int64_t beat;
    std::int64_t note;
    std::optional<std::string> melodyName;
    bool isPlaying;
    bool isAutomated;

    static std::expected<ContentState, foundation::DecodingError> decode(const foundation::Decoder& decoder);
    std::expected<void, foundation::EncodingError> encode(foundation::Encoder& encoder) const;

    // An absent name never equals an empty one; present names compare by canonical
    // equivalence.
    friend bool operator==(const ContentState& a, const ContentState& b);

    // Feeds tempo, beat and note as words; the name as byte 0 (absent) or byte 1 and
    // its text; then the two flags as bytes.
    void hash(foundation::Hasher& hasher) const;
  };

  enum class CodingKeys { name };

  std::string name;

  static std::expected<TulWidgetAttributes, foundation::DecodingError> decode(const foundation::Decoder& decoder);
  std::expected<void, foundation::EncodingError> encode(foundation::Encoder& encoder) const;
};

}  // namespace tul

template <>
struct foundation::CodingKeyNames<tul::TulWidgetAttributes::CodingKeys> {
  static constexpr std::array<std::string_view, 1> names = {"name"};
};

template <>
struct foundation::CodingKeyNames<tul::TulWidgetAttributes::ContentState::CodingKeys> {
  static constexpr std::array<std::string_view, 6> names = {"tempo",      "beat",      "note",
                                                            "melodyName", "isPlaying", "isAutomated"};
};
