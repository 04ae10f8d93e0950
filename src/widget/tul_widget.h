// TulWidget: the home-screen widget as declared to the widget host: kind
// "com.lumaro.TulWidget", gallery name "Kadenzo", description "Practice with Kadenzo",
// offered in the small family only. Every entry of SimpleWidgetProvider is shown
// through TulWidgetEntryView, unchanged.
#pragma once

#include <string>

#include "platform/widgetkit/static_configuration.h"
#include "widget/simple_widget_provider.h"
#include "widget/tul_widget_entry_view.h"

namespace tul {

struct TulWidget {
  // The content builder: one entry view per entry, holding a copy of it.
  struct Content {
    TulWidgetEntryView operator()(const SimpleEntry& entry) const { return TulWidgetEntryView{entry}; }
  };
  using Configuration = widgetkit::StaticConfiguration<SimpleWidgetProvider, Content>;

  const std::string kind = "com.lumaro.TulWidget";

  Configuration body() const;
};

}  // namespace tul
