#include "platform/widgetkit/widget.h"

namespace widgetkit {

std::string_view presentationName(ActivityPresentation presentation) {
  switch (presentation) {
    case ActivityPresentation::lockScreen: return "lock-screen";
    case ActivityPresentation::expanded: return "expanded";
    case ActivityPresentation::compactLeading: return "compact-leading";
    case ActivityPresentation::compactTrailing: return "compact-trailing";
    case ActivityPresentation::minimal: return "minimal";
  }
  return "unknown";
}

std::optional<ActivityPresentation> presentationFromName(std::string_view name) {
  for (ActivityPresentation presentation : kAllActivityPresentations) {
    if (presentationName(presentation) == name) return presentation;
  }
  return std::nullopt;
}

}  // namespace widgetkit
