#include "widget/tul_widget.h"

namespace tul {

TulWidget::Configuration TulWidget::body() const {
  return Configuration(kind, SimpleWidgetProvider(), Content())
      .configurationDisplayName("Kadenzo")
      .description("Practice with Kadenzo")
      .supportedFamilies({widgetkit::WidgetFamily::systemSmall});
}

}  // namespace tul
