#include "bench_preset.h"

#include <cstdlib>

#include "platform/foundation/json_encoder.h"
#include "platform/foundation/preferences_location.h"
#include "platform/foundation/user_defaults.h"

namespace bench {

namespace fs = std::filesystem;

const tul::MiniMelody& benchPreset() {
  static const tul::MiniMelody preset{
      true,
      3,
      2,
      1,
      8,
      132,
      4,
      3,
      "2",
      "1000",
      "Étude für Bossa – Tag 3",
      tul::MiniMelody::RhythmMode::beatBased,
      *foundation::UUID::parse("7D4C9E2A-31B5-4F0E-9A64-0C2B8E5D1F37"),
  };
  return preset;
}

const std::string& benchPresetJSON() {
  static const std::string json = *foundation::JSONEncoder().encodeToString(benchPreset());
  return json;
}

std::expected<void, std::string> storePresetIn(const fs::path& folder) {
  ::setenv(foundation::kPreferencesVariable, folder.c_str(), 1);
  benchPreset().saveShared();
  // saveShared() absorbs failures; read the row back to be sure the benchmarks read a
  // stored preset and not the fallback.
  auto defaults = foundation::UserDefaults::make(tul::kSharedSuiteName);
  if (!defaults) return std::unexpected("cannot open the suite in " + folder.string());
  const auto value = defaults->object(tul::kSharedPresetKey);
  const auto* data = value ? value->getIf<foundation::Data>() : nullptr;
  if (data == nullptr || foundation::stringView(*data) != benchPresetJSON()) {
    return std::unexpected("the preset was not stored in " + folder.string());
  }
  return {};
}

}  // namespace bench
