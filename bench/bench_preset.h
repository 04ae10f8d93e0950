// The preset every benchmark reads, and storing it in a preferences folder.
//
// benchPreset() is a playlist entry with a non-ASCII name, so that decoding takes the
// same paths as a real stored preset (every member present, a string with multi-byte
// characters). The benchmarks store it in a throw-away folder (a TempPreferences of
// support/temp_folder.h), which this process and every child it starts then read.
#pragma once

#include <expected>
#include <filesystem>
#include <string>

#include "preset/mini_melody.h"

namespace bench {

const tul::MiniMelody& benchPreset();

// The preset's JSON, as the host app stores it.
const std::string& benchPresetJSON();

// Points WIDGET_PLATFORM_PREFERENCES of this process at `folder` and stores the preset
// there, then reads it back; an error names what failed.
std::expected<void, std::string> storePresetIn(const std::filesystem::path& folder);

}  // namespace bench
