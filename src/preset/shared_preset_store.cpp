// The shared preset store: MiniMelody's side of the preferences suite it shares with
// the host app. The suite is the only persistent state the extension touches.

#include "preset/shared_preset_store.h"

#include "platform/foundation/host_notes.h"
#include "platform/foundation/json_decoder.h"
#include "platform/foundation/json_encoder.h"
#include "platform/foundation/user_defaults.h"

namespace tul {

namespace shared_store {

Observed read() {
  auto defaults = foundation::UserDefaults::make(kSharedSuiteName);
  if (!defaults) return {};
  return {true, defaults->object(kSharedPresetKey)};
}

bool storeIfUnchanged(const MiniMelody& melody, const std::optional<foundation::PropertyValue>& observed) {
  auto defaults = foundation::UserDefaults::make(kSharedSuiteName);
  if (!defaults) return false;
  auto encoded = foundation::JSONEncoder().encode(melody);
  if (!encoded) return false;
  auto written = defaults->setIfUnchanged(foundation::PropertyValue{std::move(*encoded)}, kSharedPresetKey, observed);
  return written.value_or(false);
}

}  // namespace shared_store

const MiniMelody& MiniMelody::defaultMelody() {
  // Built on first use; a function-local static is a once-only guard, so concurrent
  // first calls build it exactly once and all see the same `id`.
  static const MiniMelody melody{
      false, 4, 1, 1, 4, 120, 4, 4, "0", "2000", "Let it be", RhythmMode::none, foundation::UUID::random(),
  };
  return melody;
}

MiniMelody MiniMelody::loadShared() {
  const auto observed = shared_store::read();
  // No suite: nothing can be read, and no save could open it either.
  if (!observed.opened) return defaultMelody();
  if (observed.value) {
    if (const auto* data = observed.value->getIf<foundation::Data>()) {
      auto melody = foundation::JSONDecoder().decode<MiniMelody>(*data);
      if (melody) return std::move(*melody);
      foundation::noteForHost("the stored preset does not decode: " + melody.error().description());
    } else {
      foundation::noteForHost("the stored preset is " + std::string(foundation::kindName(observed.value->kind())) +
                              ", not data");
    }
  }
  // Absent, not a data blob, or undecodable: fall back to the default and store it,
  // unless another writer changed the value since it was read.
  MiniMelody fallback = defaultMelody();
  shared_store::storeIfUnchanged(fallback, observed.value);
  return fallback;
}

void MiniMelody::saveShared() const {
  auto defaults = foundation::UserDefaults::make(kSharedSuiteName);
  if (!defaults) return;
  auto encoded = foundation::JSONEncoder().encode(*this);
  if (!encoded) return;
  (void)defaults->set(foundation::PropertyValue{std::move(*encoded)}, kSharedPresetKey);
}

}  // namespace tul
