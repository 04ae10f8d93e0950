// WidgetFamily: the sizes and shapes a widget can be offered in, as the platform
// names them. A widget declares the families it supports; the host asks only for those.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace widgetkit {

enum class WidgetFamily {
  systemSmall,
  systemMedium,
  systemLarge,
  systemExtraLarge,
  accessoryCircular,
  accessoryRectangular,
  accessoryInline,
};

inline constexpr std::array kAllWidgetFamilies = {
    WidgetFamily::systemSmall,       WidgetFamily::systemMedium,         WidgetFamily::systemLarge,
    WidgetFamily::systemExtraLarge,  WidgetFamily::accessoryCircular,    WidgetFamily::accessoryRectangular,
    WidgetFamily::accessoryInline,
};

// The family's name as written in the protocol, e.g. "systemSmall".
std::string_view familyName(WidgetFamily family);

// The family named `name` exactly, or none.
std::optional<WidgetFamily> familyFromName(std::string_view name);

}  // namespace widgetkit
