#include "platform/ui/localizer.h"

#include "platform/ui/string_format.h"

namespace ui {

std::string Localizer::resolve(const LocalizedStringKey& key, std::string_view tableName) const {
  std::string found = bundle ? bundle->localizedString(key.key(), language, tableName) : key.key();
  if (!key.isFormat()) return found;
  return formatString(found, key.arguments());
}

}  // namespace ui
