// The preset every benchmark reads, and a throw-away preferences folder that holds it.
//
// benchPreset() is a playlist entry with a non-ASCII name, so that decoding takes the
// same paths as a real stored preset (every member present, a string with multi-byte
// characters). StoredPreset makes a fresh folder, points WIDGET_PLATFORM_PREFERENCES of
// this process (and of every child it starts from now on) at it, and stores the preset
// there (storePresetIn); the folder is removed when the StoredPreset goes away. One
// StoredPreset per process at a time.
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

class StoredPreset {
 public:
  // The folder with the preset stored, or an error naming the step that failed.
  static std::expected<StoredPreset, std::string> make();

  StoredPreset(StoredPreset&& other) noexcept;
  StoredPreset& operator=(StoredPreset&&) = delete;
  StoredPreset(const StoredPreset&) = delete;
  StoredPreset& operator=(const StoredPreset&) = delete;
  ~StoredPreset();

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path suiteFile() const;

 private:
  explicit StoredPreset(std::filesystem::path root);
  std::filesystem::path root_;
  std::filesystem::path folder_;
};

}  // namespace bench
