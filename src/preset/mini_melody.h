// MiniMelody: the metronome preset that the host app shares with the extension.
//
// A plain value record of 13 fields, all of them coded, compared and hashed in
// declaration order. The extension reads only `bpm`, `name` and `isPlaylingList`;
// every other field is carried unchanged. Field and member names are part of the
// stored data shared with the host app, misspellings included (`isPlaylingList`,
// `rythmMode`): never rename them.
//
// Texts compare by Unicode canonical equivalence and hash by their canonical form, so
// equal records always hash alike. `defaultMelody()` is built once per process under a
// thread-safe once-only guard; everything else touches only its arguments.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/coding_key.h"
#include "platform/foundation/hasher.h"
#include "platform/foundation/json_decoder.h"
#include "platform/foundation/json_encoder.h"
#include "platform/foundation/uuid.h"

namespace tul {

struct MiniMelody {
  enum class RhythmMode : std::int64_t { none = 0, beatBased = 1, barBased = 2 };

  enum class CodingKeys {
    isPlaylingList,
    poly1,
    poly2,
    polyBar,
    bars,
    bpm,
    note,
    beat,
    subdivision,
    acc,
    name,
    rythmMode,
    id,
  };

  bool isPlaylingList;
  std::int64_t poly1;
  std::int64_t poly2;
  std::int64_t polyBar;
  std::int64_t bars;
  std::int64_t bpm;
  std::int64_t note;
  std::int64_t beat;
  std::string subdivision;
  std::string acc;
  std::string name;
  RhythmMode rythmMode;
  foundation::UUID id;

  // The record's identity (Identifiable): a copy of `id`.
  foundation::UUID identity() const { return id; }

  // Keyed coding. Decoding reads the 13 members in field order and stops at the
  // first failure; every member is required, none may be null, other members are
  // ignored. Encoding writes all 13 in field order, `id` in upper case.
  static std::expected<MiniMelody, foundation::DecodingError> decode(const foundation::Decoder& decoder);
  std::expected<void, foundation::EncodingError> encode(foundation::Encoder& encoder) const;

  friend bool operator==(const MiniMelody& a, const MiniMelody& b);
  void hash(foundation::Hasher& hasher) const;

  // The Italian tempo word for `bpm`, one of 19 fixed texts; total over every value.
  std::string_view tempoMarking() const;

  // The fallback preset: "Let it be" at 120, with an `id` drawn once per process.
  static const MiniMelody& defaultMelody();

  // The preset stored in the shared suite, or a copy of `defaultMelody()` when none
  // can be read (no suite, no value, not a data blob, not decodable). In that case
  // the default is written back, but only if the stored value is still the one that
  // was read: a preset the host app stored in between is never overwritten. Never
  // fails; errors are absorbed.
  static MiniMelody loadShared();

  // Stores this record's JSON as a data blob under the shared key. Failures are
  // skipped silently.
  void saveShared() const;
};

// RhythmMode(rawValue:): the case for 0, 1 or 2, none for every other value.
std::optional<MiniMelody::RhythmMode> rhythmModeFromRawValue(std::int64_t rawValue);
constexpr std::int64_t rawValue(MiniMelody::RhythmMode mode) { return static_cast<std::int64_t>(mode); }

// The fixed identifiers of the shared store.
inline constexpr std::string_view kSharedSuiteName = "group.com.quenova.tul";
inline constexpr std::string_view kSharedPresetKey = "miniMelody";

}  // namespace tul

template <>
struct foundation::CodingKeyNames<tul::MiniMelody::CodingKeys> {
  static constexpr std::array<std::string_view, 13> names = {
      "isPlaylingList", "poly1", "poly2", "polyBar", "bars", "bpm",  "note",
      "beat",           "subdivision", "acc", "name", "rythmMode", "id",
  };
};
