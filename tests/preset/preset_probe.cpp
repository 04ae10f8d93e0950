// A second process for the store tests: stands in for another extension process
// or for the host app.
//   preset_probe load              prints the JSON of MiniMelody::loadShared()
//   preset_probe store-data JSON   stores JSON as a data blob, as the host app does
#include <cstdio>
#include <cstring>

#include "platform/foundation/user_defaults.h"
#include "preset/mini_melody.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "load") == 0) {
    auto json = foundation::JSONEncoder().encodeToString(tul::MiniMelody::loadShared());
    if (!json) return 1;
    std::puts(json->c_str());
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "store-data") == 0) {
    auto defaults = foundation::UserDefaults::make(tul::kSharedSuiteName);
    if (!defaults) return 2;
    auto written = defaults->set(foundation::PropertyValue{foundation::dataFromString(argv[2])}, tul::kSharedPresetKey);
    return written ? 0 : 3;
  }
  std::fprintf(stderr, "usage: preset_probe load | store-data JSON\n");
  return 64;
}
