// The two steps of loading the shared preset, exposed so that their composition in
// MiniMelody::loadShared() can be exercised with another writer in between.
#pragma once

#include <optional>

#include "platform/foundation/property_value.h"
#include "preset/mini_melody.h"

namespace tul::shared_store {

// What the shared suite holds under the preset key: none when the suite cannot be
// opened (`opened` false) or holds nothing there.
struct Observed {
  bool opened = false;
  std::optional<foundation::PropertyValue> value;
};

Observed read();

// Stores `melody` only if the suite still holds `observed` under the key; returns
// whether it wrote.
bool storeIfUnchanged(const MiniMelody& melody, const std::optional<foundation::PropertyValue>& observed);

}  // namespace tul::shared_store
