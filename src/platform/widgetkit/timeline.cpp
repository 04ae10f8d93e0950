#include "platform/widgetkit/timeline.h"

namespace widgetkit {

std::string_view TimelineReloadPolicy::name() const {
  switch (kind_) {
    case Kind::atEnd: return "atEnd";
    case Kind::never: return "never";
    case Kind::after: return "after";
  }
  return "unknown";
}

}  // namespace widgetkit
