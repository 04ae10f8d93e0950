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

  // Each member in field order; the first failure ends the decode.
  auto isPlaylingList = c.decodeBool(K::isPlaylingList);
  if (!isPlaylingList) return std::unexpected(isPlaylingList.error());
  std::int64_t numbers[7] = {};
  constexpr K numberKeys[7] = {K::poly1, K::poly2, K::polyBar, K::bars, K::bpm, K::note, K::beat};
  for (int i = 0; i < 7; ++i) {
    auto number = c.decodeInt64(numberKeys[i]);
    if (!number) return std::unexpected(number.error());
    numbers[i] = *number;
  }
  auto subdivision = c.decodeString(K::subdivision);
  if (!subdivision) return std::unexpected(subdivision.error());
  auto acc = c.decodeString(K::acc);
  if (!acc) return std::unexpected(acc.error());
  auto name = c.decodeString(K::name);
  if (!name) return std::unexpected(name.error());
  auto modeRaw = c.decodeInt64(K::rythmMode);
  if (!modeRaw) return std::unexpected(modeRaw.error());
  auto mode = rhythmModeFromRawValue(*modeRaw);
  if (!mode) {
    return std::unexpected(DecodingError{DecodingError::Kind::dataCorrupted,
                                         {std::string(foundation::stringValue(K::rythmMode))},
                                         "cannot initialize RhythmMode from invalid Int64 value " +
                                             std::to_string(*modeRaw)});
  }
  auto id = c.decodeUUID(K::id);
  if (!id) return std::unexpected(id.error());
  return MiniMelody{*isPlaylingList, numbers[0], numbers[1],       numbers[2],
                    numbers[3],      numbers[4], numbers[5],       numbers[6],
                    std::move(*subdivision), std::move(*acc), std::move(*name), *mode, *id};
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
  return a.isPlaylingList == b.isPlaylingList && a.poly1 == b.poly1 && a.poly2 == b.poly2 &&
         a.polyBar == b.polyBar && a.bars == b.bars && a.bpm == b.bpm && a.note == b.note && a.beat == b.beat &&
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
