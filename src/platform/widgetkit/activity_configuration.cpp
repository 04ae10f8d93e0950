#include "platform/widgetkit/activity_configuration.h"

namespace widgetkit {

std::string_view positionName(DynamicIslandExpandedRegionPosition position) {
  switch (position) {
    case DynamicIslandExpandedRegionPosition::leading: return "leading";
    case DynamicIslandExpandedRegionPosition::trailing: return "trailing";
    case DynamicIslandExpandedRegionPosition::center: return "center";
    case DynamicIslandExpandedRegionPosition::bottom: return "bottom";
  }
  return "unknown";
}

}  // namespace widgetkit
