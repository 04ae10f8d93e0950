#include "preset/mini_melody.h"

#include "platform/foundation/canonical_text.h"

namespace tul {

using foundation::DecodingError;
using foundation::EncodingError;

std::optional<MiniMelody::RhythmMode> rhythmModeFromRawValue(std::int64_t value) {
  switch (value) {
    case 0: return MiniMelody::RhythmMode::none;
    case 1: return MiniMelody::RhythmMode::beatBased;
    case 2: return MiniMelody::RhythmMode::barBased;
    default: return std::nullopt;
  }
}

std::expected<MiniMelody, DecodingError> MiniMelody::decode(const foundation::Decoder& decoder) {
  using K = CodingKeys;
  auto container = decoder.container<K>();
  if (!container) return std::unexpected(container.error());
  const auto& c = *container;
  // The rhythm mode is stored as its raw value; one that no mode has is corrupt.
  auto mode = [&]() -> std::expected<RhythmMode, DecodingError> {
    const auto raw = c.decodeInt64(K::rythmMode);
    if (!raw) return std::unexpected(raw.error());
    if (auto known = rhythmModeFromRawValue(*raw)) return *known;
    return std::unexpected(
        DecodingError{DecodingError::Kind::dataCorrupted,
                      {std::string(foundation::stringValue(K::rythmMode))},
                      "cannot initialize RhythmMode from invalid Int64 value " + std::to_string(*raw)});
  }();
  return foundation::recordOf<MiniMelody>(c.decodeBool(K::isPlaylingList), c.decodeInt64(K::poly1),
                                          c.decodeInt64(K::poly2), c.decodeInt64(K::polyBar), c.decodeInt64(K::bars),
                                          c.decodeInt64(K::bpm), c.decodeInt64(K::note), c.decodeInt64(K::beat),
                                          c.decodeString(K::subdivision), c.decodeString(K::acc),
                                          c.decodeString(K::name), std::move(mode), c.decodeUUID(K::id));
}

std::expected<void, EncodingError> MiniMelody::encode(foundation::Encoder& encoder) const {
  using K = CodingKeys;
  auto c = encoder.container<K>();
  std::expected<void, EncodingError> written;
  // Stops at the first member the encoder refuses.
  const auto write = [&](auto&& value, K key) {
    if (written) written = c.encode(value, key);
  };
  write(isPlaylingList, K::isPlaylingList);
  write(poly1, K::poly1);
  write(poly2, K::poly2);
  write(polyBar, K::polyBar);
  write(bars, K::bars);
  write(bpm, K::bpm);
  write(note, K::note);
  write(beat, K::beat);
  write(subdivision, K::subdivision);
  write(acc, K::acc);
  write(name, K::name);
  write(rawValue(rythmMode), K::rythmMode);
  write(id.uuidString(), K::id);
  return written;
}

bool operator==(const MiniMelody& a, const MiniMelody& b) {
  return a.isPlaylingList == b.isPlaylingList && a.poly1 == b.poly1 && a.poly2 == b.poly2 && a.polyBar == b.polyBar &&
         a.bars == b.bars && a.bpm == b.bpm && a.note == b.note && a.beat == b.beat &&
         foundation::canonicallyEqual(a.subdivision, b.subdivision) && foundation::canonicallyEqual(a.acc, b.acc) &&
         foundation::canonicallyEqual(a.name, b.name) && a.rythmMode == b.rythmMode && a.id == b.id;
}

void MiniMelody::hash(foundation::Hasher& hasher) const {
  hasher.combine(isPlaylingList);
  for (std::int64_t number : {poly1, poly2, polyBar, bars, bpm, note, beat}) hasher.combine(number);
  hasher.combineText(subdivision);
  hasher.combineText(acc);
  hasher.combineText(name);
  hasher.combine(rawValue(rythmMode));
  id.hash(hasher);
}

}  // namespace tul
