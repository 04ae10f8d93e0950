#include "activity/tul_widget_attributes.h"

#include "platform/foundation/canonical_text.h"

namespace tul {

using foundation::DecodingError;
using foundation::EncodingError;
using State = TulWidgetAttributes::ContentState;

std::expected<State, DecodingError> State::decode(const foundation::Decoder& decoder) {
  using K = CodingKeys;
  auto container = decoder.container<K>();
  if (!container) return std::unexpected(container.error());
  const auto& c = *container;
  return foundation::recordOf<State>(c.decodeInt64(K::tempo), c.decodeInt64(K::beat), c.decodeInt64(K::note),
                                     c.decodeStringIfPresent(K::melodyName), c.decodeBool(K::isPlaying),
                                     c.decodeBool(K::isAutomated));
}

std::expected<void, EncodingError> State::encode(foundation::Encoder& encoder) const {
  using K = CodingKeys;
  auto c = encoder.container<K>();
  if (auto r = c.encode(tempo, K::tempo); !r) return r;
  if (auto r = c.encode(beat, K::beat); !r) return r;
  if (auto r = c.encode(note, K::note); !r) return r;
  if (auto r = c.encodeIfPresent(melodyName, K::melodyName); !r) return r;
  if (auto r = c.encode(isPlaying, K::isPlaying); !r) return r;
  return c.encode(isAutomated, K::isAutomated);
}

bool operator==(const State& a, const State& b) {
  if (a.tempo != b.tempo || a.beat != b.beat || a.note != b.note) return false;
  if (a.melodyName.has_value() != b.melodyName.has_value()) return false;
  if (a.melodyName && !foundation::canonicallyEqual(*a.melodyName, *b.melodyName)) return false;
  return a.isPlaying == b.isPlaying && a.isAutomated == b.isAutomated;
}

void State::hash(foundation::Hasher& hasher) const {
  hasher.combine(tempo);
  hasher.combine(beat);
  hasher.combine(note);
  if (melodyName) {
    hasher.combine(std::uint8_t{1});
    hasher.combineText(*melodyName);
  } else {
    hasher.combine(std::uint8_t{0});
  }
  hasher.combine(isPlaying);
  hasher.combine(isAutomated);
}

std::expected<TulWidgetAttributes, DecodingError> TulWidgetAttributes::decode(const foundation::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  if (!container) return std::unexpected(container.error());
  return foundation::recordOf<TulWidgetAttributes>(container->decodeString(CodingKeys::name));
}

std::expected<void, EncodingError> TulWidgetAttributes::encode(foundation::Encoder& encoder) const {
  return encoder.container<CodingKeys>().encode(name, CodingKeys::name);
}

}  // namespace tul
