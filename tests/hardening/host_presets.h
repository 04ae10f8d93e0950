// Host presets: the numbered values that the hardening tests' host-app writer stores,
// each one recognisable whole from any of its parts, so that a reader can tell a
// whole record from a torn or mixed one.
//
// Preset k is a playlist entry named "Host k" at tempo bpmFor(k); its other fields
// are derived from k as well. "Broken k" is a data blob that is not a preset at all,
// the kind of value after which the extension falls back to its default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/data.h"
#include "platform/foundation/json_decoder.h"
#include "platform/foundation/json_encoder.h"
#include "platform/foundation/uuid.h"
#include "preset/mini_melody.h"

namespace tul::hardening {

inline std::int64_t bpmFor(std::int64_t k) { return 40 + k % 200; }

inline MiniMelody hostPreset(std::int64_t k) {
  const std::string digits = std::to_string(k % 1'000'000'000'000);
  const auto id = *foundation::UUID::parse("00000000-0000-4000-8000-" + std::string(12 - digits.size(), '0') + digits);
  const std::string name = "Host " + std::to_string(k);
  return {true, k % 7 + 1,  k % 5 + 1, k % 3 + 1, k % 16 + 1, bpmFor(k),
          4,    k % 12 + 1, "1",       "1000",    name,       MiniMelody::RhythmMode::beatBased,
          id};
}

inline std::string hostPresetJson(std::int64_t k) { return *foundation::JSONEncoder().encodeToString(hostPreset(k)); }

inline foundation::Data hostPresetData(std::int64_t k) { return foundation::dataFromString(hostPresetJson(k)); }

inline foundation::Data brokenData(std::int64_t k) {
  return foundation::dataFromString("{\"broken\": " + std::to_string(k) + "}");
}

// Whether `melody` is a default preset: the fixed fields of MiniMelody::defaultMelody()
// with any id (each process draws its own).
inline bool isDefaultPreset(const MiniMelody& melody) {
  MiniMelody expected = MiniMelody::defaultMelody();
  expected.id = melody.id;
  return melody == expected;
}

// The preset a stored data blob holds, or none.
inline std::optional<MiniMelody> presetIn(const foundation::Data& data) {
  auto melody = foundation::JSONDecoder().decode<MiniMelody>(data);
  return melody ? std::optional(*melody) : std::nullopt;
}

// Whether a stored data blob holds a whole default preset.
inline bool holdsDefaultPreset(const foundation::Data& data) {
  const auto melody = presetIn(data);
  return melody && isDefaultPreset(*melody);
}

}  // namespace tul::hardening
