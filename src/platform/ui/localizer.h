// Localizer: turns a text's key into the string shown, for one bundle and language.
//
// The key is looked up in the bundle's string tables (Bundle::localizedString: the
// language, its base language, "en", "Base"; the key itself where no table has it).
// A key with values is then filled by formatString(); a literal key is shown as found.
// Without a bundle nothing is looked up: each key is shown unchanged, its placeholders
// filled. A plain value; safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/bundle.h"
#include "platform/ui/localized_string_key.h"

namespace ui {

struct Localizer {
  std::optional<Bundle> bundle;
  std::string language = "en";

  // The string shown for `key`, looked up in the table `tableName`.
  std::string resolve(const LocalizedStringKey& key, std::string_view tableName = Bundle::kDefaultTable) const;
};

}  // namespace ui
